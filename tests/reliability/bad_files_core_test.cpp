// Bad atc.ini and kukan.dat handed to the core loaders: each stops or falls back as decided,
// keeps what it must keep, and never changes the file it read.

#include "scratch_dir.h"

#include "initdata/load_ini.h"
#include "map/map_file.h"
#include "map/map_geometry.h"
#include "model/module1.h"

#include <gtest/gtest.h>

#include <cstring>

namespace relm {
namespace {

using test::Bytes;
using test::FileKind;

std::string iniLines(std::initializer_list<int> values)
{
    std::string text;
    for (const int v : values)
        text += formatIniValue(v);
    return text;
}

// Codes no load ever writes, so a train that was not loaded is easy to see.
Module1 markedTables()
{
    Module1 m;
    for (int t = 0; t < kTrainCount; ++t) {
        m.PosCode0[t] = static_cast<std::int16_t>(0x7100 + t);
        m.PosCode1[t] = static_cast<std::int16_t>(0x7110 + t);
        m.PosCode2[t] = static_cast<std::int16_t>(0x7120 + t);
        m.PosCode3[t] = static_cast<std::int16_t>(0x7130 + t);
    }
    return m;
}

struct IniCase
{
    const char *name;
    FileKind kind;
    std::string contents;
    IniLoadStatus status;
    int trainsLoaded;
};

class BadIniLoadTest : public testing::TestWithParam<IniCase>
{};

TEST_P(BadIniLoadTest, StopsReportsAndKeepsTheRest)
{
    const IniCase &c = GetParam();
    test::ScratchDir dir;
    const auto path = dir.file("atc.ini");
    test::placeFile(path, c.kind, test::bytesOf(c.contents));
    const std::string before = test::snapshot(path);

    Module1 m = markedTables();
    const Module1 marked = m;
    const IniLoadResult r = LoadIni(m, path.string());

    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.trainsLoaded, c.trainsLoaded);
    EXPECT_EQ(r.ok(), r.message.empty()) << r.message;
    for (int t = 0; t < kTrainCount; ++t) {
        const bool loaded = t < r.trainsLoaded;
        EXPECT_EQ(m.PosCode0[t] == marked.PosCode0[t], !loaded) << "train " << t;
        EXPECT_EQ(m.PosCode3[t] == marked.PosCode3[t], !loaded) << "train " << t;
    }
    EXPECT_EQ(test::snapshot(path), before) << "the load must not touch the file";
}

const std::string kGood = iniLines({1, 2, 0, 1, 0, 5, 1, 1, 0, 0, 0, 0});

INSTANTIATE_TEST_SUITE_P(
    Files, BadIniLoadTest,
    testing::Values(
        IniCase{"Good", FileKind::Contents, kGood, IniLoadStatus::Loaded, 3},
        IniCase{"Missing", FileKind::Missing, "", IniLoadStatus::CannotOpen, 0},
        IniCase{"DirectoryInItsPlace", FileKind::Directory, "", IniLoadStatus::CannotRead, 0},
        IniCase{"LinkToItself", FileKind::SelfLink, "", IniLoadStatus::CannotOpen, 0},
        IniCase{"Empty", FileKind::Contents, "", IniLoadStatus::EndOfFile, 0},
        IniCase{"EndsInTheSecondTrain", FileKind::Contents, iniLines({1, 2, 0, 1, 0, 5}),
                IniLoadStatus::EndOfFile, 1},
        IniCase{"CutInsideAValue", FileKind::Contents, kGood.substr(0, 42),
                IniLoadStatus::EndOfFile, 2},
        IniCase{"BinaryGarbage", FileKind::Contents, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16),
                IniLoadStatus::NotANumber, 0},
        IniCase{"NulInsideTheThirdTrain", FileKind::Contents,
                iniLines({1, 2, 0, 1, 0, 5, 1, 1}) + std::string(" 0\0 \r\n", 6),
                IniLoadStatus::NotANumber, 2},
        IniCase{"NumberTooLongForAnyRegister", FileKind::Contents,
                iniLines({1, 2, 0, 1}) + " 99999999999999999999 \r\n", IniLoadStatus::NotANumber,
                1},
        IniCase{"RouteOutOfRange", FileKind::Contents,
                iniLines({1, 2, 0, 1, 0, 5, 1, 1, 9, 0, 0, 1}), IniLoadStatus::OutOfRange, 2},
        IniCase{"NegativeSection", FileKind::Contents, iniLines({1, -1, 0, 1}),
                IniLoadStatus::OutOfRange, 0},
        IniCase{"Oversized", FileKind::Contents, std::string(70 * 1024, ' ') + kGood,
                IniLoadStatus::CannotRead, 0}),
    [](const testing::TestParamInfo<IniCase> &p) { return std::string(p.param.name); });

// A map file as a byte image: slot p's count at MapPointCount(p), N in entry 100.
Bytes mapBytes(int polygons, int pointsEach, std::size_t length = kMapFileSize)
{
    MapGeometry g;
    g.MapPointCount[kMapPolyCountSlot] = static_cast<std::int16_t>(polygons);
    for (int p = 0; p < kMapMaxPolygons; ++p) {
        g.MapPointCount[static_cast<std::size_t>(p)] = static_cast<std::int16_t>(pointsEach);
        for (int k = 0; k < kMapPointsPerSlot; ++k)
            g.MapPoints[static_cast<std::size_t>(p * kMapPointsPerSlot + k)] = {3 * p + k, 2 * p};
        g.MapLabelPos[static_cast<std::size_t>(p)] = {p, p};
    }
    Bytes bytes = serializeMapGeometry(g);
    bytes.resize(length, 0xEE);
    return bytes;
}

struct MapCase
{
    const char *name;
    FileKind kind;
    Bytes contents;
    MapLoadStatus status;
    int drawn;      // polygons the map draws afterwards
    int mostPoints; // largest corner count of a drawn polygon
};

class BadMapFileTest : public testing::TestWithParam<MapCase>
{};

TEST_P(BadMapFileTest, LoadsWhatItCanAndKeepsTheTablesOtherwise)
{
    const MapCase &c = GetParam();
    test::ScratchDir dir;
    const auto path = dir.file(kMapFileName);
    test::placeFile(path, c.kind, c.contents);
    const std::string before = test::snapshot(path);

    // What an earlier, good load left: five triangles.
    MapGeometry geometry = parseMapGeometry(mapBytes(5, 3));
    const MapGeometry earlier = geometry;
    const MapLoadResult r = loadMapFile(path, geometry);

    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.status == MapLoadStatus::Unreadable, !r.reason.empty()) << r.reason;
    if (r.status == MapLoadStatus::Loaded)
        EXPECT_EQ(geometry, parseMapGeometry(c.contents));
    else
        EXPECT_EQ(geometry, earlier);
    EXPECT_EQ(drawnPolygonCount(geometry), c.drawn);
    int most = 0;
    for (int p = 0; p < drawnPolygonCount(geometry); ++p)
        most = std::max(most, static_cast<int>(polygonPoints(geometry, p).size()));
    EXPECT_EQ(most, c.mostPoints);
    EXPECT_EQ(test::snapshot(path), before) << "the load must not touch the file";
}

Bytes firstBytes(const Bytes &b, std::size_t n)
{
    return Bytes(b.begin(), b.begin() + static_cast<long>(n));
}

INSTANTIATE_TEST_SUITE_P(
    Files, BadMapFileTest,
    testing::Values(
        MapCase{"Whole", FileKind::Contents, mapBytes(40, 6), MapLoadStatus::Loaded, 40, 6},
        MapCase{"Empty", FileKind::Contents, {}, MapLoadStatus::Loaded, 0, 0},
        // Cut inside the point counts: N, which lies beyond the cut, reads as 0.
        MapCase{"CutInsideTheCounts", FileKind::Contents, firstBytes(mapBytes(40, 6), 8950),
                MapLoadStatus::Loaded, 0, 0},
        // Cut inside the label anchors: every polygon is there, the missing anchors are 0.
        MapCase{"CutInsideTheLabels", FileKind::Contents, firstBytes(mapBytes(40, 6), 9500),
                MapLoadStatus::Loaded, 40, 6},
        MapCase{"LongerThanTheFormat", FileKind::Contents, mapBytes(40, 6, 20000),
                MapLoadStatus::Loaded, 40, 6},
        MapCase{"PolygonCountFarAbove100", FileKind::Contents, mapBytes(30000, 6),
                MapLoadStatus::Loaded, 100, 6},
        MapCase{"PointCountsFarAbove11", FileKind::Contents, mapBytes(40, 500),
                MapLoadStatus::Loaded, 40, 11},
        MapCase{"NegativeCounts", FileKind::Contents, mapBytes(-3, -7), MapLoadStatus::Loaded, 0,
                0},
        MapCase{"NegativePointCounts", FileKind::Contents, mapBytes(12, -7), MapLoadStatus::Loaded,
                12, 0},
        MapCase{"Missing", FileKind::Missing, {}, MapLoadStatus::Missing, 5, 3},
        MapCase{"DirectoryInItsPlace", FileKind::Directory, {}, MapLoadStatus::Unreadable, 5, 3},
        MapCase{"LinkToItself", FileKind::SelfLink, {}, MapLoadStatus::Unreadable, 5, 3}),
    [](const testing::TestParamInfo<MapCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm

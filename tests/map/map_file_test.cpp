#include "map/map_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace relm {
namespace {

namespace fs = std::filesystem;

// A fresh directory per test, removed afterwards.
class MapFileTest : public testing::Test
{
protected:
    void SetUp() override
    {
        m_dir = fs::temp_directory_path() / ("relm_map_" + std::to_string(std::random_device{}()));
        fs::create_directories(m_dir);
        m_sample.MapPointCount = {4};
        m_sample.MapPoints[3] = {-5, 300};
        m_sample.MapLabelPos[100] = {7, 7};
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path file() const { return m_dir / "kukan.dat"; }

    fs::path m_dir;
    MapGeometry m_sample;
};

TEST_F(MapFileTest, SavedFileLoadsBackAndLeavesNoTemporary)
{
    ASSERT_EQ(saveMapFile(file(), m_sample), "");
    EXPECT_EQ(fs::file_size(file()), kMapFileSize);
    EXPECT_FALSE(fs::exists(m_dir / "kukan.dat.part"));
    MapGeometry loaded;
    EXPECT_EQ(loadMapFile(file(), loaded).status, MapLoadStatus::Loaded);
    EXPECT_EQ(loaded, m_sample);
}

TEST_F(MapFileTest, MissingOrUnreadableFileKeepsTheTables)
{
    MapGeometry g = m_sample;
    const MapLoadResult missing = loadMapFile(file(), g);
    EXPECT_EQ(missing.status, MapLoadStatus::Missing);
    EXPECT_EQ(missing.reason, "");

    // A directory in its place opens on some systems and fails on reading.
    fs::create_directory(file());
    const MapLoadResult unreadable = loadMapFile(file(), g);
    EXPECT_EQ(unreadable.status, MapLoadStatus::Unreadable);
    EXPECT_NE(unreadable.reason, "");
    EXPECT_EQ(g, m_sample);
}

TEST_F(MapFileTest, ShortFileReplacesEveryTableWithZerosPastItsEnd)
{
    std::ofstream(file(), std::ios::binary) << '\x01';
    MapGeometry g = m_sample;
    EXPECT_EQ(loadMapFile(file(), g).status, MapLoadStatus::Loaded);
    MapGeometry expected;
    expected.MapPoints[0] = {1, 0};
    EXPECT_EQ(g, expected);
}

TEST_F(MapFileTest, FailedReplaceKeepsTheTargetAndLeavesNoTemporary)
{
    fs::create_directories(file() / "inside"); // a non-empty directory cannot be replaced
    EXPECT_NE(saveMapFile(file(), m_sample), "");
    EXPECT_TRUE(fs::is_directory(file() / "inside"));
    EXPECT_FALSE(fs::exists(m_dir / "kukan.dat.part"));
    EXPECT_NE(saveMapFile(m_dir / "no_such_dir" / "kukan.dat", m_sample), "");
}

} // namespace
} // namespace relm

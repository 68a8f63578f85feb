#include "relm_map_command.h"

#include "map/map_geometry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>

namespace relm {
namespace {

namespace fs = std::filesystem;

// Runs relm-map on files in a folder of its own.
class RelmMapTest : public testing::Test
{
protected:
    void TearDown() override { fs::remove_all(m_dir); }

    std::string path(const char *name) const { return (m_dir / name).string(); }
    std::string file(const char *name, std::optional<std::string> write = {}) const
    {
        if (write)
            std::ofstream(path(name), std::ios::binary) << *write;
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path m_dir = fs::temp_directory_path() / std::to_string(std::random_device{}());
    bool m_made = fs::create_directories(m_dir);
    std::ostringstream m_out, m_err;
};

TEST_F(RelmMapTest, DumpThenBuildReproducesAnyFileByteForByteInANewFile)
{
    MapGeometry awkward; // unused points after the drawn ones, and drawn points that are 0,0
    awkward.MapPointCount[0] = 3;
    awkward.MapPoints[10] = {-1, 0};
    awkward.MapPointCount[99] = 11;
    const auto bytes = serializeMapGeometry(awkward);
    std::string random(kMapFileSize, '\0');
    std::mt19937 rng(7);
    for (char &c : random)
        c = static_cast<char>(rng());
    file("out.dat", "old");
    fs::create_hard_link(path("out.dat"), path("out.old")); // keeps "old" if out.dat is replaced
    for (const std::string &original : {std::string(bytes.begin(), bytes.end()), random}) {
        file("in.dat", original);
        m_out.str({});
        ASSERT_EQ(runRelmMap({"dump", path("in.dat")}, m_out, m_err), kExitOk) << m_err.str();
        file("map.txt", m_out.str());
        ASSERT_EQ(runRelmMap({"build", path("map.txt"), path("out.dat")}, m_out, m_err), kExitOk);
        EXPECT_TRUE(file("out.dat") == original) << m_out.str();
    }
    EXPECT_EQ(file("out.old"), "old");
}

TEST_F(RelmMapTest, BadInputOrAnUnwritableTargetFailsLeavingNoPartialOrChangedFile)
{
    file("kukan.dat", "old");
    file("map.txt", "polygons 1\npoly 0 label 1,1 points 1,1 3,x\n");
    EXPECT_EQ(runRelmMap({"build", path("map.txt"), path("kukan.dat")}, m_out, m_err), kExitFailed);
    EXPECT_NE(m_err.str().find(path("map.txt") + ":2: "), std::string::npos) << m_err.str();
    EXPECT_EQ(file("kukan.dat"), "old");
    EXPECT_FALSE(fs::exists(path("kukan.dat.part")));

    file("map.txt", "polygons 0\n");
    fs::create_directories(m_dir / "full" / "inside"); // a folder that cannot be replaced
    EXPECT_EQ(runRelmMap({"build", path("map.txt"), path("full")}, m_out, m_err), kExitFailed);
    EXPECT_FALSE(fs::exists(path("full.part")));
}

} // namespace
} // namespace relm

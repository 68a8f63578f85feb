#include "relm_map_command.h"

#include "map/map_geometry.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace relm {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class RelmMapCommandTest : public testing::Test
{
protected:
    void SetUp() override
    {
        const auto *info = testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() / (std::string("relm_map_cmd_") + info->name() + "_" +
                                             std::to_string(std::random_device{}()));
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string path(const char *name) const { return (m_dir / name).string(); }

    static void writeBytes(const std::string &p, const Bytes &bytes)
    {
        std::ofstream out(p, std::ios::binary);
        out.write(reinterpret_cast<const char *>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    static void writeText(const std::string &p, const std::string &text)
    {
        std::ofstream(p, std::ios::binary) << text;
    }
    static Bytes readBytes(const std::string &p)
    {
        std::ifstream in(p, std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    int run(std::vector<std::string> args)
    {
        m_out.str({});
        m_err.str({});
        return runRelmMap(args, m_out, m_err);
    }

    fs::path m_dir;
    std::ostringstream m_out;
    std::ostringstream m_err;
};

TEST_F(RelmMapCommandTest, DumpThenBuildReproducesAnyFile)
{
    for (unsigned seed = 100; seed < 105; ++seed) {
        std::mt19937 rng(seed);
        Bytes original(kMapFileSize);
        for (auto &b : original)
            b = static_cast<std::uint8_t>(rng());
        writeBytes(path("in.dat"), original);

        ASSERT_EQ(run({"dump", path("in.dat")}), kExitOk) << m_err.str();
        EXPECT_EQ(m_err.str(), "");
        writeText(path("map.txt"), m_out.str());
        ASSERT_EQ(run({"build", path("map.txt"), path("out.dat")}), kExitOk) << m_err.str();
        EXPECT_EQ(readBytes(path("out.dat")), original) << "seed " << seed;
    }
}

TEST_F(RelmMapCommandTest, BadSourceNamesTheLineAndKeepsTheOldFile)
{
    const Bytes old(kMapFileSize, 0x5A);
    writeBytes(path("kukan.dat"), old);
    writeText(path("map.txt"), "polygons 1\npoly 0 label 1,1 points 1,1 2,2 3,x\n");

    EXPECT_EQ(run({"build", path("map.txt"), path("kukan.dat")}), kExitFailed);
    EXPECT_NE(m_err.str().find(path("map.txt") + ":2: "), std::string::npos) << m_err.str();
    EXPECT_NE(m_err.str().find("'3,x'"), std::string::npos) << m_err.str();
    EXPECT_EQ(readBytes(path("kukan.dat")), old);
    EXPECT_FALSE(fs::exists(path("kukan.dat.part")));
}

TEST_F(RelmMapCommandTest, ShortFileIsDumpedWithAWarning)
{
    writeBytes(path("short.dat"), Bytes(100, 1));
    EXPECT_EQ(run({"dump", path("short.dat")}), kExitOk);
    EXPECT_NE(m_err.str().find("100 bytes"), std::string::npos) << m_err.str();
    EXPECT_NE(m_out.str().find("polygons 0"), std::string::npos);
}

struct UsageCase
{
    const char *name;
    std::vector<std::string> args;
    int status;
};

class RelmMapUsageTest : public RelmMapCommandTest, public testing::WithParamInterface<UsageCase>
{
};

TEST_P(RelmMapUsageTest, RefusesWithoutTouchingFiles)
{
    EXPECT_EQ(run(GetParam().args), GetParam().status);
    EXPECT_NE(m_err.str(), "");
    EXPECT_EQ(m_out.str(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RelmMapUsageTest,
    testing::Values(UsageCase{"Nothing", {}, kExitUsage},
                    UsageCase{"UnknownCommand", {"show", "kukan.dat"}, kExitUsage},
                    UsageCase{"DumpMissingFile", {"dump", "/nonexistent/kukan.dat"}, kExitFailed},
                    UsageCase{"DumpDirectory", {"dump", "/"}, kExitFailed},
                    UsageCase{"BuildMissingSource",
                              {"build", "/nonexistent/map.txt", "/nonexistent/k.dat"},
                              kExitFailed}),
    [](const testing::TestParamInfo<UsageCase> &p) { return std::string(p.param.name); });

} // namespace
} // namespace relm

#include "process_memory.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <unistd.h>

namespace relm {
namespace {

constexpr const char *kStatus = "Name:\trelm\n"
                                "VmPeak:\t  812340 kB\n"
                                "VmHWM:\t   40120 kB\n"
                                "VmRSSX:\t   1 kB\n"
                                "VmRSS:\t   35364 kB\n"
                                "Threads:\t4\n"
                                "VmSwap:\t     abc kB\n"
                                "VmLck:\t       7 MB\n";

struct FieldCase
{
    std::string name;
    std::string field;
    std::optional<long> expected;
};

void PrintTo(const FieldCase &c, std::ostream *os)
{
    *os << c.name;
}

class StatusFieldTest : public testing::TestWithParam<FieldCase>
{
};

TEST_P(StatusFieldTest, ReadsOnlyTheNamedKilobyteField)
{
    EXPECT_EQ(statusFieldKb(kStatus, GetParam().field), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Fields, StatusFieldTest,
                         testing::Values(FieldCase{"Resident", "VmRSS", 35364},
                                         FieldCase{"Peak", "VmHWM", 40120},
                                         FieldCase{"PrefixOfAnotherName", "Vm", std::nullopt},
                                         FieldCase{"Absent", "VmData", std::nullopt},
                                         FieldCase{"NotANumber", "VmSwap", std::nullopt},
                                         FieldCase{"NotKilobytes", "VmLck", std::nullopt},
                                         FieldCase{"NoUnit", "Threads", std::nullopt}),
                         [](const testing::TestParamInfo<FieldCase> &p) { return p.param.name; });

TEST(ProcessMemory, ThisProcessIsResident)
{
    const std::optional<long> rss = residentKb(::getpid());
    ASSERT_TRUE(rss.has_value());
    EXPECT_GT(*rss, 0);
    EXPECT_GE(peakResidentKb(::getpid()).value_or(0), *rss);
}

} // namespace
} // namespace relm

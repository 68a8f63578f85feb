// relm-soak: runs the console's core against the simulated controller in virtual time with a
// seeded random operator and reports every safety violation with the frames that led to it.

#include "soak_report.h"
#include "soak_run.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include <unistd.h>

namespace {

constexpr const char *kUsage =
    "usage: relm-soak [--hours H | --minutes M] [--seed N] [--whole-frame-quiet-us U]\n"
    "                 [--frame-quiet-us U]\n"
    "                 [--trace LINES] [--ini PATH] [--faults SETTINGS] [--no-watch]\n"
    "  --hours H            simulated hours to run (default 1; fractions allowed)\n"
    "  --minutes M          simulated minutes instead\n"
    "  --seed N             the operator's and placements' seed (default 1)\n"
    "  --whole-frame-quiet-us U\n"
    "                       quiet time on the line, with whole 24-byte status frames waiting,\n"
    "                       before the console reads them (default 2000)\n"
    "  --frame-quiet-us U   the same with 23 bytes or more that are no whole frames\n"
    "                       (default 5000)\n"
    "  --trace LINES        lines of frames kept with each violation (default 60)\n"
    "  --ini PATH           where to write atc.ini (default: a new temporary directory)\n"
    "  --faults SETTINGS        faults on the line, e.g. 1e-5 (bit, drop and dup each 1e-5 per\n"
    "                       byte) or bit=1e-5,drop=1e-5,dup=1e-6,outage=1/3600:2s; also\n"
    "                       dir=both|status|commands and seed=N (default: the run's seed)\n"
    "  --no-watch           the console believes every whole status frame, as it did before\n"
    "                       it watched the reports\n"

    "Exit status: 0 no violation, 1 violations found, 2 bad command line or failure.\n";

bool parseNumber(std::string_view text, double &out)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size() && out >= 0.0;
}

bool parseNumber(std::string_view text, unsigned long long &out)
{
    const auto r = std::from_chars(text.data(), text.data() + text.size(), out);
    return r.ec == std::errc() && r.ptr == text.data() + text.size();
}

int usageError(const std::string &why)
{
    std::fprintf(stderr, "relm-soak: %s\n%s", why.c_str(), kUsage);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    relm::SoakConfig config;
    config.length = std::chrono::hours(1);
    std::string iniPath;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--no-watch") {
            config.watch = false;
            continue;
        }
        if (i + 1 >= argc)
            return usageError("missing value after " + std::string(arg));
        const std::string_view value = argv[++i];
        double d = 0.0;
        unsigned long long n = 0;
        if (arg == "--hours" && parseNumber(value, d)) {
            config.length = relm::sim::Duration{static_cast<std::int64_t>(d * 3600e6)};
        } else if (arg == "--minutes" && parseNumber(value, d)) {
            config.length = relm::sim::Duration{static_cast<std::int64_t>(d * 60e6)};
        } else if (arg == "--seed" && parseNumber(value, n)) {
            config.seed = n;
        } else if (arg == "--whole-frame-quiet-us" && parseNumber(value, n)) {
            config.receive.wholeFrameQuiet = relm::sim::Duration{static_cast<std::int64_t>(n)};
        } else if (arg == "--frame-quiet-us" && parseNumber(value, n)) {
            config.receive.frameQuiet = relm::sim::Duration{static_cast<std::int64_t>(n)};
        } else if (arg == "--trace" && parseNumber(value, n)) {
            config.traceLines = static_cast<std::size_t>(n);
        } else if (arg == "--ini") {
            iniPath = value;
        } else if (arg == "--faults") {
            const relm::sim::FaultSettingsParse parsed = relm::sim::parseFaultSettings(value);
            if (!parsed.error.empty())
                return usageError("--faults: " + parsed.error);
            config.faults = parsed.settings;
        } else {
            return usageError("bad option " + std::string(arg) + " " + std::string(value));
        }
    }

    std::filesystem::path tempDir;
    if (iniPath.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "relm-soak-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            return usageError("cannot make a temporary directory for atc.ini");
        tempDir = pattern;
        iniPath = (tempDir / "atc.ini").string();
    }
    config.iniPath = iniPath;

    int status = 2;
    try {
        relm::SoakRun run(config);
        run.run();
        std::fputs(relm::soakReport(run).c_str(), stdout);
        status = run.stats().violations == 0 ? 0 : 1;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    if (!tempDir.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(tempDir, ignored);
    }
    return status;
}

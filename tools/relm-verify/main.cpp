// relm-verify: every state the console's safety rules can reach from the start placements,
// breadth first, with the console's own core driving an abstract controller and an operator who
// may do anything at any moment. Prints the figures and, for each kind of violation found, the
// shortest way to it; --trace writes the first as a traffic log for relm-sim --replay.

#include "explorer.h"
#include "start_placements.h"
#include "verify_trace.h"

#include "link/download_frame.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace relm;
using namespace relm::verify;

constexpr const char *kUsage =
    "usage: relm-verify [--trains N] [--routes R,R..] [--ini FILE] [--bins N] [--sliders 2|3]\n"
    "                   [--max-states N] [--max-depth N] [--first] [--trace FILE]\n"
    "                   [--image FILE] [--explain]\n"
    "  --help          this text\n"
    "  --trains N      trains on the layout, 1 to 3 (default 2: X and Y; Z off the layout)\n"
    "  --routes R,..   routes the start placements use (default 0,1,2,3)\n"
    "  --ini FILE      start from the placement in this atc.ini only\n"
    "  --bins N        steps of a train's head inside a section, 2 to 10 (default 6)\n"
    "  --sliders 2|3   slider levels the operator uses: 0 and 128, or 0, 48 and 128 (default 3)\n"
    "  --max-states N  stop after N states (the result then covers only what was reached)\n"
    "  --max-depth N   expand no state deeper than N steps\n"
    "  --first         stop at the first violation\n"
    "  --trace FILE    write the first violation as a traffic log, its atc.ini as FILE.atc.ini\n"
    "  --image FILE    the program image the console downloads first (default atctest.bin)\n"
    "  --explain       print every step of each violation's way with the states\n"
    "Exit status: 0 no violation, 1 a violation found, 2 bad arguments or files.\n";

struct Options
{
    int trains = 2;
    std::vector<int> routes{0, 1, 2, 3};
    std::string ini;
    ModelShape shape;
    std::size_t maxStates = 0;
    int maxDepth = 0;
    bool first = false;
    std::string trace;
    std::string image = "atctest.bin";
    bool explain = false;
};

std::optional<long> number(const std::string &text, long low, long high)
{
    char *end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || v < low || v > high)
        return std::nullopt;
    return v;
}

std::optional<Options> parse(int argc, char **argv, std::string &error)
{
    Options o;
    const std::vector<std::string> args(argv + 1, argv + argc);
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        const auto bounded = [&](long low, long high) -> std::optional<long> {
            const auto v = value();
            return v ? number(*v, low, high) : std::nullopt;
        };
        std::optional<long> n;
        if (a == "--help") {
            error.clear();
            return std::nullopt;
        } else if (a == "--first") {
            o.first = true;
        } else if (a == "--explain") {
            o.explain = true;
        } else if (a == "--trains" && (n = bounded(1, 3))) {
            o.trains = static_cast<int>(*n);
        } else if (a == "--bins" && (n = bounded(2, 10))) {
            o.shape.bins = static_cast<int>(*n);
        } else if (a == "--sliders" && (n = bounded(2, 3))) {
            o.shape.sliderLevels = static_cast<int>(*n);
        } else if (a == "--max-states" && (n = bounded(1, 4'000'000'000L))) {
            o.maxStates = static_cast<std::size_t>(*n);
        } else if (a == "--max-depth" && (n = bounded(1, 1'000'000))) {
            o.maxDepth = static_cast<int>(*n);
        } else if (a == "--routes") {
            const auto v = value();
            o.routes.clear();
            std::istringstream in(v.value_or(""));
            std::string r;
            while (std::getline(in, r, ',')) {
                const auto route = number(r, 0, 3);
                if (!route) {
                    error = "--routes takes route numbers 0 to 3 separated by commas";
                    return std::nullopt;
                }
                o.routes.push_back(static_cast<int>(*route));
            }
            if (o.routes.empty()) {
                error = "--routes needs at least one route";
                return std::nullopt;
            }
        } else if (a == "--ini" || a == "--trace" || a == "--image") {
            const auto v = value();
            if (!v || v->empty()) {
                error = a + " needs a file";
                return std::nullopt;
            }
            (a == "--ini" ? o.ini : a == "--trace" ? o.trace : o.image) = *v;
        } else {
            error = "unknown or incomplete argument: " + a;
            return std::nullopt;
        }
    }
    return o;
}

std::optional<std::vector<std::uint8_t>> readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool writeFile(const std::string &path, const std::string &text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

void report(const VerifyResult &r, const Options &o, std::size_t starts)
{
    std::printf("relm-verify: %d train%s, %zu start placement%s, %d steps a section, %d slider "
                "levels\n",
                o.trains, o.trains == 1 ? "" : "s", starts, starts == 1 ? "" : "s", o.shape.bins,
                o.shape.sliderLevels);
    std::printf("states        %llu\n", static_cast<unsigned long long>(r.states));
    std::printf("transitions   %llu\n", static_cast<unsigned long long>(r.transitions));
    std::printf("depth         %d\n", r.depth);
    std::printf("time          %.1f s\n", r.seconds);
    std::printf("peak RSS      %ld MB (store %zu MB)\n", r.peakRssKb / 1024, r.storeBytes >> 20);
    std::printf("exhaustive    %s\n", r.complete ? "yes, every reachable state expanded"
                                                 : "no, bounded by --max-states, --max-depth or "
                                                   "--first");
    std::printf("route faults  %llu (the controller held a train at a section end)\n",
                static_cast<unsigned long long>(r.routeFaults));
    for (int k = 0; k < kFindingKinds; ++k) {
        std::printf("%-40s %llu\n", findingName(static_cast<FindingKind>(k)),
                    static_cast<unsigned long long>(r.findings[static_cast<std::size_t>(k)]));
    }
}

} // namespace

int main(int argc, char **argv)
{
    std::string error;
    const std::optional<Options> parsed = parse(argc, argv, error);
    if (!parsed && error.empty()) {
        std::printf("%s", kUsage);
        return 0;
    }
    if (!parsed) {
        std::fprintf(stderr, "relm-verify: %s\n%s", error.c_str(), kUsage);
        return 2;
    }
    const Options &o = *parsed;

    VerifyConfig config;
    config.shape = o.shape;
    config.maxStates = o.maxStates;
    config.maxDepth = o.maxDepth;
    config.stopAtFirst = o.first;
    config.progress = [](const std::string &line) { std::fprintf(stderr, "relm-verify: %s\n", line.c_str()); };
    if (!o.ini.empty()) {
        const auto text = readFile(o.ini);
        const IniValues read =
            text ? parseIni(std::string_view(reinterpret_cast<const char *>(text->data()), text->size()))
                 : IniValues{};
        if (!text || read.count != kIniValueCount) {
            std::fprintf(stderr, "relm-verify: %s does not hold twelve atc.ini values\n",
                         o.ini.c_str());
            return 2;
        }
        config.starts.push_back(read.values);
    } else {
        config.starts = startPlacements(o.trains, o.routes);
    }
    if (config.starts.empty()) {
        std::fprintf(stderr, "relm-verify: no start placement puts the trains apart there\n");
        return 2;
    }
    std::vector<std::uint8_t> download;
    if (!o.trace.empty()) {
        const auto image = readFile(o.image);
        const DownloadBuild build = image ? buildDownloadFrame(*image) : DownloadBuild{};
        if (!build.accepted) {
            std::fprintf(stderr, "relm-verify: cannot use %s as the program image\n",
                         o.image.c_str());
            return 2;
        }
        download = build.frame;
    }

    VerifyResult result;
    try {
        result = explore(config);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 2;
    }
    report(result, o, config.starts.size());
    for (Counterexample &c : result.counterexamples) {
        for (const Finding &f : findingsAtEnd(config.starts[c.start], c.steps, o.shape)) {
            if (f.kind == c.kind)
                c.what = f.what;
        }
        std::printf("\nVIOLATION %s: %s\n  start %s, %zu steps\n", findingName(c.kind),
                    c.what.c_str(), describePlacement(config.starts[c.start]).c_str(),
                    c.steps.size());
        for (const std::uint16_t label : c.steps)
            std::printf("  %s\n", describe(decode(label)).c_str());
        if (o.explain)
            std::printf("%s", traceExplanation(config.starts[c.start], c.steps, o.shape).c_str());
    }
    if (!o.trace.empty() && !result.counterexamples.empty()) {
        const Counterexample &c = result.counterexamples.front();
        const IniValueArray &start = config.starts[c.start];
        const std::string headline = std::string(findingName(c.kind)) + ": " + c.what;
        if (!writeFile(o.trace, traceLog(start, c.steps, o.shape, download, headline)) ||
            !writeFile(o.trace + ".atc.ini", formatIni(start))) {
            std::fprintf(stderr, "relm-verify: cannot write %s\n", o.trace.c_str());
            return 2;
        }
        std::printf("\ntrace written to %s (atc.ini: %s.atc.ini)\n", o.trace.c_str(),
                    o.trace.c_str());
    }
    return result.violations() > 0 ? 1 : 0;
}

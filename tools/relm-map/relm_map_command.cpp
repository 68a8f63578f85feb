#include "relm_map_command.h"

#include "layout_text.h"
#include "map/map_file.h"
#include "map/map_geometry.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <sstream>

namespace relm {

namespace {

constexpr const char *kUsage = "usage: relm-map build LAYOUT.txt kukan.dat\n"
                               "       relm-map dump kukan.dat\n";

std::optional<std::string> readWholeFile(const std::string &path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec))
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        return std::nullopt;
    return std::move(content).str();
}

int build(const std::string &source, const std::string &target, std::ostream &err)
{
    const auto text = readWholeFile(source);
    if (!text) {
        err << source << ": cannot be read\n";
        return kExitFailed;
    }
    const LayoutParseResult parsed = parseLayoutText(*text);
    if (!parsed.errors.empty()) {
        for (const LayoutError &e : parsed.errors) {
            err << source;
            if (e.line > 0)
                err << ":" << e.line;
            err << ": " << e.message << "\n";
        }
        err << target << ": not written\n";
        return kExitFailed;
    }
    const std::string failure = saveMapFile(target, parsed.geometry);
    if (!failure.empty()) {
        err << failure << "\n";
        return kExitFailed;
    }
    return kExitOk;
}

int dump(const std::string &file, std::ostream &out, std::ostream &err)
{
    const auto content = readWholeFile(file);
    if (!content) {
        err << file << ": cannot be read\n";
        return kExitFailed;
    }
    if (content->size() != kMapFileSize) {
        err << file << ": " << content->size() << " bytes where " << kMapFileSize
            << " are expected; "
            << (content->size() < kMapFileSize ? "the missing bytes read as zero"
                                               : "the bytes past the end are ignored")
            << "\n";
    }
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(content->data());
    out << formatLayoutText(parseMapGeometry(std::span(bytes, content->size())));
    return kExitOk;
}

} // namespace

int runRelmMap(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    if (args.size() == 3 && args[0] == "build")
        return build(args[1], args[2], err);
    if (args.size() == 2 && args[0] == "dump")
        return dump(args[1], out, err);
    err << kUsage;
    return kExitUsage;
}

} // namespace relm

// Any text as a --faults setting of relm-sim and relm-soak: it is understood or refused with a
// reason, and what is understood reads back the same from its written form.

#include "sim/line_faults.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const relm::sim::FaultSettingsParse parsed = relm::sim::parseFaultSettings(text);
    if (!parsed.error.empty())
        return 0;
    const std::string written = relm::sim::describe(parsed.settings);
    const relm::sim::FaultSettingsParse again = relm::sim::parseFaultSettings(written);
    if (!again.error.empty() || relm::sim::describe(again.settings) != written)
        std::abort(); // the written form must read back as the same settings
    // A line with these faults must run.
    relm::sim::LineFaults line(parsed.settings, 1);
    std::vector<std::uint8_t> bytes(64, 0x55);
    line.copies(relm::sim::LineDirection::ToConsole, bytes.size());
    line.damage(relm::sim::LineDirection::ToConsole, relm::sim::Time{1'000'000}, bytes);
    return 0;
}

// atc.ini contents of any kind through the reader that LoadIni and the initial data dialog use,
// then into the position registers. Holds the rules: the dialog's values are in range and
// survive a save and a reload unchanged; a load that stops leaves later trains untouched; a
// complete load gives only codes of the layout or 128.

#include "module_tables.h"

#include "initdata/ini_format.h"
#include "initdata/load_ini.h"
#include "model/section_code.h"

#include <cstdint>
#include <string_view>

namespace {

using namespace relm;

constexpr std::int16_t kUntouched = 0x5A5A; // no load ever writes this

void checkDialogRoundTrip(const IniValues &read)
{
    const IniValueArray shown = dialogValues(read);
    for (int i = 0; i < kIniValueCount; ++i) {
        const std::int32_t v = shown[static_cast<std::size_t>(i)];
        if (v < 0 || v > iniFieldMax(i))
            broken("the dialog shows values within their field's range");
        if (i >= read.count && v != 0)
            broken("the dialog shows 0 for a value it could not read");
    }
    const std::string saved = formatIni(shown);
    const IniValues reread = parseIni(saved);
    if (reread.stop != IniStop::Complete || reread.count != kIniValueCount
        || reread.values != shown)
        broken("what the dialog saves reads back as the same twelve values");
}

void checkLoad(const IniValues &read)
{
    Module1 m;
    for (auto *table : {&m.PosCode0, &m.PosCode1, &m.PosCode2, &m.PosCode3})
        table->fill(kUntouched);
    const IniLoadResult r = applyIni(m, read, "atc.ini");
    if (r.ok() != (r.trainsLoaded == kTrainCount) || r.ok() != r.message.empty())
        broken("a load reports success exactly when every train was loaded");
    for (int t = 0; t < kTrainCount; ++t) {
        for (const std::int16_t code : {m.PosCode0[t], m.PosCode1[t], m.PosCode2[t], m.PosCode3[t]}) {
            const bool loaded = t < r.trainsLoaded;
            if (!loaded && code != kUntouched)
                broken("trains after the failing one keep their codes");
            if (loaded && code != kAbsentCode && (code < 0 || code > 63))
                broken("a loaded train gets codes of the layout or 128");
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);
    const IniValues read = parseIni(text);
    if (read.count < 0 || read.count > kIniValueCount
        || (read.stop == IniStop::Complete) != (read.count == kIniValueCount)
        || read.stopOffset > size || read.badText.size() > 24)
        broken("the reader reports how far it got");
    checkDialogRoundTrip(read);
    checkLoad(read);
    return 0;
}

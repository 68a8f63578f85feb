#include "sim/frame_text.h"

#include <array>

namespace relm::sim {

namespace {

constexpr int kBlock = 14;
constexpr std::array<const char *, kBlock> kRegisterNames{"own", "behind", "next", "after", "speed",
                                                          "r5",  "r6",     "cmd",  "r8",    "r9",
                                                          "r10", "r11",    "r12",  "r13"};

char trainName(int t)
{
    return static_cast<char>('X' + t);
}

} // namespace

std::string hexByte(std::uint8_t b)
{
    constexpr const char *kDigits = "0123456789ABCDEF";
    return {kDigits[b >> 4], kDigits[b & 0x0F]};
}

std::string describeRegisterFrame(const RegisterFrame &f)
{
    std::string text = "n=" + std::to_string(f.pairs.size());
    for (const RegisterPair &p : f.pairs) {
        text += ' ';
        text += trainName(p.address / kBlock);
        text += '.';
        text += kRegisterNames[static_cast<std::size_t>(p.address % kBlock)];
        text += '=';
        text += hexByte(p.value);
    }
    return text;
}

std::string describeStatusFrame(std::span<const std::uint8_t> frame)
{
    std::string text;
    for (std::size_t t = 0; t * 8 + 8 <= frame.size(); ++t) {
        const auto r = frame.subspan(t * 8, 8);
        if (t > 0)
            text += " | ";
        text += trainName(static_cast<int>(t));
        if ((r[0] & 0x80) != 0) {
            text += " absent";
            continue;
        }
        text += ' ' + hexByte(r[1]) + '>' + hexByte(r[0]) + '>' + hexByte(r[2]) + '>' +
                hexByte(r[3]) + " v" + std::to_string(r[5]) + '/' + std::to_string(r[4]) + " aux" +
                hexByte(r[6]);
    }
    return text;
}

} // namespace relm::sim

#include "traffic/frame_decoder.h"

#include <array>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <vector>

namespace relm {
namespace {

constexpr int kTrains = 3;
constexpr int kRegistersPerTrain = 14;
constexpr std::size_t kStatusBytes = 23;   // the console needs bytes 0..22 of a status read
constexpr std::size_t kRecordBytes = 8;    // one status record per train
constexpr std::size_t kDownloadLead = 21;  // zeros before the FF of a download frame
constexpr std::size_t kDownloadExtra = 31; // frame bytes beyond the image itself
constexpr std::uint8_t kFrameStart = 0xFF;
constexpr std::uint8_t kAbsent = 0x80;
constexpr int kMinCommandPairs = 6;
constexpr int kMaxCommandPairs = 24;
constexpr int kInitPairs = 12;
constexpr std::array<char, kTrains> kTrainNames{'X', 'Y', 'Z'};

constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendHex(std::string &out, std::uint8_t b)
{
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 0x0F];
}

std::string hex(std::uint8_t b)
{
    std::string s;
    appendHex(s, b);
    return s;
}

struct Pair
{
    int offset; // register offset within the train's block of 14
    std::uint8_t value;
};

// The image length L of a well-formed download frame, or nothing.
std::optional<std::size_t> downloadLength(std::span<const std::uint8_t> b)
{
    if (b.size() < kDownloadExtra)
        return std::nullopt;
    for (std::size_t i = 0; i < kDownloadLead; ++i) {
        if (b[i] != 0)
            return std::nullopt;
    }
    if (b[kDownloadLead] != kFrameStart)
        return std::nullopt;
    const std::size_t field = (std::size_t{b[22]} << 8) | b[23];
    // The field counts the image plus the one zero after it; the six zeros after that are not.
    // With at least 31 bytes a matching field is at least 1, so the length below cannot wrap.
    if (b.size() != field + kDownloadExtra - 1)
        return std::nullopt;
    const std::size_t length = field - 1;
    for (std::size_t i = 24 + length; i < b.size(); ++i) {
        if (b[i] != 0)
            return std::nullopt;
    }
    return length;
}

// The pair count of a register frame whose length matches its count, or nothing.
std::optional<int> registerPairs(std::span<const std::uint8_t> b)
{
    if (b.size() < 2 || b[0] != kFrameStart)
        return std::nullopt;
    const int n = b[1];
    if (b.size() != 2 + 2 * std::size_t(n))
        return std::nullopt;
    return n;
}

bool isInitialisation(std::span<const std::uint8_t> b)
{
    if (registerPairs(b) != kInitPairs)
        return false;
    for (int k = 0; k < kInitPairs; ++k) {
        const int expected = kRegistersPerTrain * (k / 4) + k % 4;
        if (b[2 + 2 * std::size_t(k)] != expected)
            return false;
    }
    return true;
}

std::string initSummary(std::span<const std::uint8_t> b)
{
    std::string s = "init";
    for (int t = 0; t < kTrains; ++t) {
        s += ' ';
        s += kTrainNames[std::size_t(t)];
        s += '[';
        for (int r = 0; r < 4; ++r) {
            if (r > 0)
                s += ' ';
            appendHex(s, b[3 + 2 * std::size_t(4 * t + r)]);
        }
        s += ']';
    }
    return s;
}

std::string commandText(std::uint8_t value)
{
    std::string s = "cmd=" + hex(value);
    switch (value) {
    case 0x30:
        return s + "(point)";
    case 0x20:
        return s + "(passed)";
    case 0xFF:
        return s + "(stop)";
    default:
        return s;
    }
}

bool offsetsAt(const std::vector<Pair> &p, std::size_t k, std::initializer_list<int> offsets)
{
    if (k + offsets.size() > p.size())
        return false;
    for (const int o : offsets) {
        if (p[k++].offset != o)
            return false;
    }
    return true;
}

// One train's writes in frame order, read as the groups the command tick builds: the base pair
// (3, 4), a command (2, 7), a reversal (0, 1, 2, 3). Any other write is shown on its own.
std::string trainWrites(const std::vector<Pair> &p)
{
    std::string s;
    std::size_t k = 0;
    while (k < p.size()) {
        if (!s.empty())
            s += ' ';
        if (offsetsAt(p, k, {0, 1, 2, 3})) {
            s += "rev=[" + hex(p[k].value) + ' ' + hex(p[k + 1].value) + ' ' + hex(p[k + 2].value) +
                 ' ' + hex(p[k + 3].value) + ']';
            k += 4;
        } else if (offsetsAt(p, k, {3, 4})) {
            s += "v=" + std::to_string(p[k + 1].value) + " r3=" + hex(p[k].value);
            k += 2;
        } else if (offsetsAt(p, k, {2, 7})) {
            s += commandText(p[k + 1].value) + " r2=" + hex(p[k].value);
            k += 2;
        } else {
            if (p[k].offset == 4)
                s += "v=" + std::to_string(p[k].value);
            else if (p[k].offset == 7)
                s += commandText(p[k].value);
            else
                s += 'r' + std::to_string(p[k].offset) + '=' + hex(p[k].value);
            ++k;
        }
    }
    return s;
}

std::string commandSummary(std::span<const std::uint8_t> b, int pairs)
{
    std::array<std::vector<Pair>, kTrains> perTrain;
    std::string others;
    for (int k = 0; k < pairs; ++k) {
        const std::uint8_t address = b[2 + 2 * std::size_t(k)];
        const std::uint8_t value = b[3 + 2 * std::size_t(k)];
        const int t = address / kRegistersPerTrain;
        if (t < kTrains) {
            perTrain[std::size_t(t)].push_back({address % kRegistersPerTrain, value});
        } else {
            // Beyond train Z's block: no train owns the register.
            others += ' ' + hex(address) + '=' + hex(value);
        }
    }
    std::string s = "cmd";
    const char *separator = " ";
    for (int t = 0; t < kTrains; ++t) {
        if (perTrain[std::size_t(t)].empty())
            continue;
        s += separator;
        s += kTrainNames[std::size_t(t)];
        s += ' ' + trainWrites(perTrain[std::size_t(t)]);
        separator = " | ";
    }
    if (!others.empty())
        s += separator + std::string("other") + others;
    return s;
}

std::string statusSummary(std::span<const std::uint8_t> b)
{
    std::string s = "status";
    for (int t = 0; t < kTrains; ++t) {
        const std::size_t r = kRecordBytes * std::size_t(t);
        s += t == 0 ? " " : " | ";
        s += kTrainNames[std::size_t(t)];
        // Only exactly 128 means absent; 129..255 are shown as the codes they are.
        if (b[r] == kAbsent) {
            s += " absent";
            continue;
        }
        s += ' ' + hex(b[r]) + '/' + hex(b[r + 1]) + '/' + hex(b[r + 2]);
        s += " v=" + std::to_string(b[r + 5]);
    }
    // A read holding more than one record set is decoded from its first byte only.
    const std::size_t frame = kRecordBytes * kTrains;
    if (b.size() > frame)
        s += " | +" + std::to_string(b.size() - frame) + " more bytes";
    return s;
}

} // namespace

DecodedFrame decodeFrame(Direction direction, std::span<const std::uint8_t> bytes)
{
    const std::string n = std::to_string(bytes.size());
    if (direction == Direction::FromController) {
        if (bytes.size() < kStatusBytes)
            return {FrameKind::ShortRead, "short read n=" + n};
        return {FrameKind::Status, statusSummary(bytes)};
    }
    if (const auto length = downloadLength(bytes))
        return {FrameKind::Download, "download L=" + std::to_string(*length) + " bytes"};
    if (isInitialisation(bytes))
        return {FrameKind::Initialisation, initSummary(bytes)};
    if (const auto pairs = registerPairs(bytes);
        pairs && *pairs >= kMinCommandPairs && *pairs <= kMaxCommandPairs) {
        return {FrameKind::Command, commandSummary(bytes, *pairs)};
    }
    return {FrameKind::Unknown, "unknown n=" + n};
}

std::string hexBytes(std::span<const std::uint8_t> bytes)
{
    std::string s;
    s.reserve(bytes.size() * 3);
    for (const std::uint8_t b : bytes) {
        if (!s.empty())
            s += ' ';
        appendHex(s, b);
    }
    return s;
}

const char *directionTag(Direction direction)
{
    return direction == Direction::ToController ? "TX" : "RX";
}

} // namespace relm

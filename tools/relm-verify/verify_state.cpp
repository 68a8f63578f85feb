#include "verify_state.h"

#include "model/section_code.h"

#include <cstdio>
#include <stdexcept>

namespace relm::verify {

namespace {

constexpr int kTrainBytes = 13;

std::uint8_t byteAt(const PackedState &s, int k)
{
    return static_cast<std::uint8_t>(s.words[static_cast<std::size_t>(k / 8)] >> (8 * (k % 8)));
}

void setByte(PackedState &s, int k, int value)
{
    if (value < 0 || value > 0xFF)
        throw std::logic_error("relm-verify: a state value does not fit its byte");
    s.words[static_cast<std::size_t>(k / 8)] |= static_cast<std::uint64_t>(value) << (8 * (k % 8));
}

std::uint8_t code(std::int16_t value)
{
    if (value < 0 || value > 0xFF)
        throw std::logic_error("relm-verify: a position code outside 0..255");
    return static_cast<std::uint8_t>(value);
}

bool flag(std::int16_t value)
{
    return value != kFalse;
}

} // namespace

int sliderLevelIndex(std::int16_t speed)
{
    for (std::size_t k = 0; k < kSliderLevels.size(); ++k) {
        if (kSliderLevels[k] == speed)
            return static_cast<int>(k);
    }
    return -1;
}

PackedState pack(const World &w)
{
    PackedState s;
    const Module1 &m = w.console;
    for (int t = 0; t < kTrainCount; ++t) {
        const int at = kTrainBytes * t;
        const ModelTrain &c = w.trains[static_cast<std::size_t>(t)];
        setByte(s, at + 0, code(m.PosCode0[t]));
        setByte(s, at + 1, code(m.PosCode1[t]));
        setByte(s, at + 2, code(m.PosCode2[t]));
        setByte(s, at + 3, code(m.PosCode3[t]));
        for (int k = 0; k < 4; ++k)
            setByte(s, at + 4 + k, c.reg[static_cast<std::size_t>(k)]);
        setByte(s, at + 8, m.OutSpeed[t]);
        setByte(s, at + 9, c.place);
        const bool stopWaits = t == 0 && w.stopPending && m.TrainCmd[t] == kCmdStop;
        if (m.RevState[t] > kRevStopping || (m.TrainCmd[t] != kCmdNone && !stopWaits))
            throw std::logic_error("relm-verify: a command or reversal outlived its tick");
        setByte(s, at + 10,
                static_cast<int>(c.motion) | (c.held ? 4 : 0) | ((c.thrown + 1) << 3) |
                    (m.RevState[t] << 5));
        const int slider = sliderLevelIndex(m.SliderSpeed[t]);
        if (slider < 0)
            throw std::logic_error("relm-verify: a slider speed the operator never sets");
        setByte(s, at + 11,
                slider | (m.PointReq[t] << 2) | (flag(m.PointArmed[t]) ? 8 : 0) |
                    (flag(m.PointBlocked[t]) ? 16 : 0));
        setByte(s, at + 12, 0);
    }
    setByte(s, 39,
            (w.pointThrown[0] ? 1 : 0) | (w.pointThrown[1] ? 2 : 0) | (w.phase << 2) |
                (w.stopPending ? 16 : 0) | (w.halted ? 32 : 0));
    return s;
}

World unpack(const PackedState &s)
{
    World w;
    Module1 &m = w.console;
    fillPointTable(m);
    setStartColours(m);
    m.InitSent = kTrue;
    for (int t = 0; t < kTrainCount; ++t) {
        const int at = kTrainBytes * t;
        ModelTrain &c = w.trains[static_cast<std::size_t>(t)];
        m.PosCode0[t] = byteAt(s, at + 0);
        m.PosCode1[t] = byteAt(s, at + 1);
        m.PosCode2[t] = byteAt(s, at + 2);
        m.PosCode3[t] = byteAt(s, at + 3);
        for (int k = 0; k < 4; ++k)
            c.reg[static_cast<std::size_t>(k)] = byteAt(s, at + 4 + k);
        m.OutSpeed[t] = byteAt(s, at + 8);
        c.place = byteAt(s, at + 9);
        const int f = byteAt(s, at + 10);
        c.motion = static_cast<Motion>(f & 3);
        c.held = (f & 4) != 0;
        c.thrown = static_cast<std::int8_t>(((f >> 3) & 3) - 1);
        m.RevState[t] = static_cast<std::int16_t>((f >> 5) & 3);
        const int g = byteAt(s, at + 11);
        m.SliderSpeed[t] = kSliderLevels[static_cast<std::size_t>(g & 3)];
        m.PointReq[t] = static_cast<std::int16_t>((g >> 2) & 1);
        m.PointArmed[t] = (g & 8) != 0 ? kTrue : kFalse;
        m.PointBlocked[t] = (g & 16) != 0 ? kTrue : kFalse;
    }
    const int g = byteAt(s, 39);
    w.pointThrown = {(g & 1) != 0, (g & 2) != 0};
    w.phase = static_cast<std::uint8_t>((g >> 2) & 3);
    w.stopPending = (g & 16) != 0;
    w.halted = (g & 32) != 0;
    if (w.stopPending)
        m.TrainCmd[0] = kCmdStop;
    return w;
}

namespace {

// Turns a code on the loop by k sections, mirrored first when asked; absent codes stay.
std::uint8_t turned(int code, int k, bool mirror)
{
    if ((code & 0x80) != 0)
        return static_cast<std::uint8_t>(code);
    int index = code & 7;
    int direction = code & kReverseFlag;
    if (mirror) {
        index = (8 - index) & 7;
        direction ^= kReverseFlag;
    }
    index = (index - k) & 7;
    return static_cast<std::uint8_t>((code & 0x58) | direction | index);
}

// The loop without a point that every present train is on, or -1.
int sharedPlainLoop(const World &w)
{
    int route = -1;
    for (int t = 0; t < kTrainCount; ++t) {
        const int own = w.console.PosCode0[t];
        const ModelTrain &c = w.trains[static_cast<std::size_t>(t)];
        if (!c.present() && own >= 0x80)
            continue;
        const int r = (c.reg[0] >> 3) & 3;
        if (own >= 0x80 || !c.present() || ((own >> 3) & 3) != r || r < 2 || (route >= 0 && r != route))
            return -1;
        route = r;
    }
    return route;
}

bool less(const PackedState &a, const PackedState &b)
{
    return a.words < b.words;
}

} // namespace

PackedState canonical(const World &w)
{
    PackedState best = pack(w);
    if (sharedPlainLoop(w) < 0)
        return best;
    const PackedState plain = best;
    for (const bool mirror : {false, true}) {
        for (int k = 0; k < 8; ++k) {
            if (!mirror && k == 0)
                continue;
            PackedState p = plain;
            // The eight codes of each train: console PosCode0..3, controller registers 0..3.
            for (int t = 0; t < kTrainCount; ++t) {
                for (int b = kTrainBytes * t; b < kTrainBytes * t + 8; ++b) {
                    const auto word = static_cast<std::size_t>(b / 8);
                    const int shift = 8 * (b % 8);
                    const std::uint8_t v = turned(static_cast<std::uint8_t>(p.words[word] >> shift), k, mirror);
                    p.words[word] = (p.words[word] & ~(std::uint64_t{0xFF} << shift)) |
                                    (static_cast<std::uint64_t>(v) << shift);
                }
            }
            if (less(p, best))
                best = p;
        }
    }
    return best;
}

std::string describe(const World &w, const ModelShape &shape)
{
    static constexpr const char *kMotion[] = {"stands", "runs", "brakes"};
    std::string text;
    for (int t = 0; t < kTrainCount; ++t) {
        const ModelTrain &c = w.trains[static_cast<std::size_t>(t)];
        const Module1 &m = w.console;
        char line[200];
        std::snprintf(line, sizeof line,
                      "%c console %02X %02X %02X %02X out %d slider %d rev %d point %d%s%s; "
                      "controller %02X %02X %02X %02X place %d/%d %s%s\n",
                      'X' + t, m.PosCode1[t] & 0xFF, m.PosCode0[t] & 0xFF, m.PosCode2[t] & 0xFF,
                      m.PosCode3[t] & 0xFF, m.OutSpeed[t], m.SliderSpeed[t], m.RevState[t],
                      m.PointReq[t], m.PointArmed[t] ? " armed" : "",
                      m.PointBlocked[t] ? " blocked" : "", c.reg[1], c.reg[0], c.reg[2], c.reg[3],
                      c.place, shape.bins + 1, kMotion[static_cast<int>(c.motion)],
                      c.held ? " held" : "");
        text += line;
    }
    return text;
}

std::uint64_t hashState(const PackedState &s)
{
    // Mixes each word in (a 64-bit finaliser), so that near states spread over the table.
    std::uint64_t h = 0x9E3779B97F4A7C15ull;
    for (const std::uint64_t word : s.words) {
        std::uint64_t x = word ^ h;
        x ^= x >> 33;
        x *= 0xFF51AFD7ED558CCDull;
        x ^= x >> 33;
        x *= 0xC4CEB9FE1A85EC53ull;
        x ^= x >> 33;
        h = x + 0x9E3779B97F4A7C15ull * (h | 1);
    }
    return h;
}

} // namespace relm::verify

#include "soak_checks.h"

#include "link/register_frames.h"
#include "model/section_code.h"

#include <cstdio>
#include <optional>

namespace relm {

namespace {

char trainName(int t)
{
    return static_cast<char>('X' + t);
}

std::string hex(int v)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X", v & 0xFF);
    return text;
}

} // namespace

const char *violationName(ViolationKind kind)
{
    switch (kind) {
    case ViolationKind::SharedSection:
        return "shared section";
    case ViolationKind::EnteredOccupied:
        return "entered an occupied section";
    case ViolationKind::ReversalWhileMoving:
        return "reversal sent while the train moves";
    case ViolationKind::PointIntoOccupied:
        return "point command into an occupied section";
    }
    return "?";
}

LayoutTruth truthOf(const sim::Controller &controller)
{
    LayoutTruth truth;
    for (int t = 0; t < kTrainCount; ++t) {
        const sim::TrainState &s = controller.train(t);
        TrainTruth &out = truth[static_cast<std::size_t>(t)];
        out.present = s.present();
        out.head = sectionNumber(s.reg(0));
        out.tail = (s.reg(1) & kAbsentFlag) != 0 ? -1 : sectionNumber(s.reg(1));
        out.speed = s.speed;
        out.speedRegister = s.reg(4);
    }
    return truth;
}

bool coveredByOther(const LayoutTruth &truth, int train, int section)
{
    for (int j = 0; j < kTrainCount; ++j) {
        const TrainTruth &o = truth[static_cast<std::size_t>(j)];
        if (j != train && o.present && (o.head == section || o.tail == section))
            return true;
    }
    return false;
}

std::vector<FrameFinding> checkCommandFrame(std::span<const std::uint8_t> frame,
                                            const LayoutTruth &truth)
{
    std::vector<FrameFinding> findings;
    // Registers as the controller will hold them pair by pair through the frame.
    std::array<int, kTrainCount> speedRegister{};
    std::array<std::optional<int>, kTrainCount> next{};
    for (int t = 0; t < kTrainCount; ++t)
        speedRegister[static_cast<std::size_t>(t)] = truth[static_cast<std::size_t>(t)].speedRegister;

    for (const RegisterWrite &p : registerWrites(frame)) {
        if (p.train < 0 || p.train >= kTrainCount)
            continue;
        const auto t = static_cast<std::size_t>(p.train);
        const TrainTruth &train = truth[t];
        switch (p.offset) {
        case kRegSpeed:
            speedRegister[t] = p.value;
            break;
        case kRegPosition2:
            next[t] = p.value;
            break;
        case kRegPosition0:
            // Only a reversal writes register 0 in a command frame.
            if (train.present && (train.speed > 0.0 || speedRegister[t] > 0)) {
                char text[160];
                std::snprintf(text, sizeof text,
                              "train %c reversed to %s while running at %.2f with speed "
                              "register %d (%d before this frame)",
                              trainName(p.train), hex(p.value).c_str(), train.speed,
                              speedRegister[t], train.speedRegister);
                findings.push_back({ViolationKind::ReversalWhileMoving, p.train, text});
            }
            break;
        case kRegCommand:
            if (p.value == kCmdSetPoint && next[t] && train.present) {
                const int section = sectionNumber(*next[t]);
                if (coveredByOther(truth, p.train, section)) {
                    findings.push_back({ViolationKind::PointIntoOccupied, p.train,
                                        std::string("train ") + trainName(p.train)
                                            + " got point command 30 towards " + hex(*next[t])
                                            + ", a section another train covers"});
                }
            }
            break;
        default:
            break;
        }
    }
    return findings;
}

std::vector<std::pair<int, std::string>> positionsReplaced(std::span<const std::uint8_t> frame,
                                                           const Module1::Table4 &loadedOwn)
{
    std::vector<std::pair<int, std::string>> replaced;
    std::array<std::optional<int>, kTrainCount> sent{};
    for (const RegisterWrite &p : registerWrites(frame)) {
        if (p.train >= 0 && p.train < kTrainCount && p.offset == kRegPosition0)
            sent[static_cast<std::size_t>(p.train)] = p.value;
    }
    for (int t = 0; t < kTrainCount; ++t) {
        const int loaded = loadedOwn[static_cast<std::size_t>(t)];
        const std::optional<int> own = sent[static_cast<std::size_t>(t)];
        if (loaded == kAbsentCode || (own && *own == loaded))
            continue;
        replaced.emplace_back(t, std::string("train ") + trainName(t) + " was loaded in "
                                     + hex(loaded) + " but the initialisation frame places it in "
                                     + (own ? hex(*own) : std::string("nothing")));
    }
    return replaced;
}

} // namespace relm

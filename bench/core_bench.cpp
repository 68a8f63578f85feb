// The core's per-event work without any window: one status frame through all passes, one tick
// of the command cycle, and the download frame for the largest image the port accepts.

#include "link/command_tick.h"
#include "link/download_frame.h"
#include "link/report_watch.h"
#include "link/status_event.h"
#include "model/module1.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace {

using relm::Module1;

using StatusFrame = std::array<std::uint8_t, 24>;

// One train's 8-byte record: own, behind, next, two unused, reported speed, aux, unused.
void putRecord(StatusFrame &frame, int t, std::uint8_t own, std::uint8_t behind, std::uint8_t next,
               std::uint8_t speed)
{
    const auto at = static_cast<std::size_t>(8 * t);
    frame[at + 0] = own;
    frame[at + 1] = behind;
    frame[at + 2] = next;
    frame[at + 5] = speed;
}

// X in route 0 section 0, Y in route 1 section 4, Z in route 2 section 2, all running forward;
// `step` moves every train one section on, so alternating 0 and 1 moves all three.
StatusFrame trainsAt(int step)
{
    StatusFrame frame{};
    const auto s = static_cast<std::uint8_t>(step);
    putRecord(frame, 0, 0x00 + s, (0x07 + s) & 0x07, 0x01 + s, 64);
    putRecord(frame, 1, 0x0C + s, 0x0B + s, (0x0D + s) & 0x0F, 64);
    putRecord(frame, 2, 0x12 + s, 0x11 + s, 0x13 + s, 64);
    return frame;
}

Module1 runningModule()
{
    Module1 m;
    relm::setStartColours(m);
    relm::fillPointTable(m);
    m.InitSent = relm::kTrue;
    m.SliderSpeed = {60, 60, 60, 0};
    return m;
}

constexpr relm::BarFrame kBarFrame{1575, 1920};

// The same positions again: decode, point, status and reversal passes; no train moved.
void BM_StatusEventStill(benchmark::State &state)
{
    Module1 m = runningModule();
    const StatusFrame frame = trainsAt(0);
    relm::statusEvent(m, frame, kBarFrame);
    for (auto _ : state) {
        relm::StatusView view = relm::statusEvent(m, frame, kBarFrame);
        benchmark::DoNotOptimize(view);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StatusEventStill);

// Every frame moves all three trains: the section after the next is recomputed for each and
// three map redraws are asked for (the redraws themselves are the window's work).
void BM_StatusEventAllMoving(benchmark::State &state)
{
    Module1 m = runningModule();
    const std::array<StatusFrame, 2> frames{trainsAt(0), trainsAt(1)};
    std::size_t k = 0;
    int redraws = 0;
    for (auto _ : state) {
        relm::StatusView view = relm::statusEvent(m, frames[k], kBarFrame);
        redraws += view.mapRedraws;
        k ^= 1U;
        benchmark::DoNotOptimize(view);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["redraws_per_frame"] =
        benchmark::Counter(static_cast<double>(redraws) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_StatusEventAllMoving);

// Every train one section further on each loop of its route after `step` moves.
StatusFrame aroundTheLoops(int step)
{
    StatusFrame frame{};
    const auto at = [step](int route, int index, int ahead) {
        return static_cast<std::uint8_t>(8 * route + ((index + step + ahead) & 7));
    };
    putRecord(frame, 0, at(0, 0, 0), at(0, 0, -1), at(0, 0, 1), 64);
    putRecord(frame, 1, at(1, 4, 0), at(1, 4, -1), at(1, 4, 1), 64);
    putRecord(frame, 2, at(2, 2, 0), at(2, 2, -1), at(2, 2, 1), 64);
    return frame;
}

// The status event with the report watch judging every record before it is taken: no train
// moving, and all three moving on round their loops (every report plausible).
void BM_StatusEventWatched(benchmark::State &state)
{
    Module1 m = runningModule();
    relm::ReportWatch watch;
    std::array<StatusFrame, 8> frames{};
    for (int k = 0; k < 8; ++k)
        frames[static_cast<std::size_t>(k)] = aroundTheLoops(k);
    // Two moves set every table the way the controller reports them.
    relm::statusEvent(m, frames[7], kBarFrame);
    relm::statusEvent(m, frames[0], kBarFrame);
    const bool moving = state.range(0) != 0;
    std::size_t k = 0;
    relm::WatchClock now{0};
    for (auto _ : state) {
        if (moving)
            k = (k + 1) % frames.size();
        now += relm::WatchClock{100};
        relm::StatusView view = relm::statusEvent(m, watch, frames[k], kBarFrame, now);
        benchmark::DoNotOptimize(view);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["doubted"] = static_cast<double>(watch.counts().implausibleFrames);
}
BENCHMARK(BM_StatusEventWatched)->Arg(0)->Arg(1)->ArgName("moving");

// A block too short to decode is only shown.
void BM_StatusEventShortBlock(benchmark::State &state)
{
    Module1 m = runningModule();
    const std::array<std::uint8_t, 5> block{0x05, 0x80, 0x1F, 0x00, 0xFF};
    for (auto _ : state) {
        relm::StatusView view = relm::statusEvent(m, block, kBarFrame);
        benchmark::DoNotOptimize(view);
    }
}
BENCHMARK(BM_StatusEventShortBlock);

// The common 14-byte frame: base pairs only, every train's speed ramping up.
void BM_CommandTickCommon(benchmark::State &state)
{
    Module1 m = runningModule();
    m.TargetSpeed = {128, 128, 128, 0};
    std::size_t bytes = 0;
    for (auto _ : state) {
        m.OutSpeed = {0, 0, 0, 0};
        relm::TickResult r = relm::commandTick(m, false);
        bytes = r.bytes.size();
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["frame_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_CommandTickCommon);

// The largest frame: every train carries a command and a reversal, 24 pairs, 50 bytes.
void BM_CommandTick24Pairs(benchmark::State &state)
{
    Module1 m = runningModule();
    m.TargetSpeed = {48, 48, 48, 0};
    std::size_t bytes = 0;
    for (auto _ : state) {
        for (int t = 0; t < relm::kTrainCount; ++t) {
            m.TrainCmd[t] = relm::kCmdSetPoint;
            m.RevState[t] = relm::kRevReady;
        }
        relm::TickResult r = relm::commandTick(m, false);
        bytes = r.bytes.size();
        benchmark::DoNotOptimize(r);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["frame_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_CommandTick24Pairs);

// The first tick after a download: the initialisation frame and the point table.
void BM_CommandTickInitialisation(benchmark::State &state)
{
    Module1 m = runningModule();
    std::size_t bytes = 0;
    for (auto _ : state) {
        m.InitSent = relm::kFalse;
        relm::TickResult r = relm::commandTick(m, false);
        bytes = r.bytes.size();
        benchmark::DoNotOptimize(r);
    }
    state.counters["frame_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_CommandTickInitialisation);

// Download frame for an image of state.range(0) bytes; 19,969 is the largest the port takes.
void BM_DownloadFrame(benchmark::State &state)
{
    std::vector<std::uint8_t> image(static_cast<std::size_t>(state.range(0)));
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<std::uint8_t>(i * 7 + 3);
    std::size_t bytes = 0;
    for (auto _ : state) {
        relm::DownloadBuild build = relm::buildDownloadFrame(image);
        bytes = build.frame.size();
        benchmark::DoNotOptimize(build);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    state.counters["frame_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_DownloadFrame)->Arg(81)->Arg(static_cast<std::int64_t>(relm::kMaxImageBytes));

} // namespace

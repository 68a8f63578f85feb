#include "soak_report.h"

#include <cstdio>

namespace relm {

namespace {

std::string format(const char *pattern, auto... args)
{
    char text[256];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

unsigned long long ull(std::uint64_t v)
{
    return static_cast<unsigned long long>(v);
}

std::string directionLine(const char *name, const sim::FaultCounts &c)
{
    return format("    %s: %llu bytes in %llu frames; %llu bit errors, %llu bytes lost, "
                  "%llu frames sent twice, %llu bytes lost in outages\n",
                  name, ull(c.bytes), ull(c.frames), ull(c.bitErrors), ull(c.dropped),
                  ull(c.duplicated), ull(c.outageBytes));
}

std::string faultLines(const SoakRun &run)
{
    const sim::LineFaults &f = run.faults();
    std::string text = "  line faults " + sim::describe(f.settings()) +
                       format(" (seed %llu):\n", ull(f.settings().seed.value_or(run.config().seed)));
    text += directionLine("to the controller", f.counts(sim::LineDirection::ToController));
    text += directionLine("to the console", f.counts(sim::LineDirection::ToConsole));
    text += format("    outages: %llu; command frames the controller got altered: %llu, "
                   "missed: %llu\n",
                   ull(f.outages()), ull(run.stats().alteredFrames), ull(run.stats().lostFrames));
    return text;
}

std::string watchLines(const SoakRun &run)
{
    const WatchCounts &c = run.watch().counts();
    std::uint64_t alarms =
        c.implausibleFrames + c.silences + c.noProgress + c.reversalsWithdrawn + c.putBack;
    for (const std::uint64_t n : c.implausible)
        alarms += n;
    if (alarms == 0)
        return "  report watch: no alarm\n";
    std::string text = format("  report watch: %llu frames doubted (", ull(c.implausibleFrames));
    for (int k = 0; k < kImplausibleKinds; ++k) {
        text += format("%s%s %llu", k == 0 ? "" : ", ", implausibleName(static_cast<Implausible>(k)),
                       ull(c.implausible[static_cast<std::size_t>(k)]));
    }
    text += format("); %llu trains held, %llu positions taken over, %llu silences, "
                   "%llu trains making no progress, %llu reversals withdrawn, %llu trains put "
                   "back\n",
                   ull(c.holds), ull(c.adoptions), ull(c.silences), ull(c.noProgress),
                   ull(c.reversalsWithdrawn), ull(c.putBack));
    text += format("    doubted as the controller sent them: %llu%s\n",
                   ull(run.stats().doubtedUndamaged),
                   run.config().faults.any() ? "" : "; on a perfect line every doubt is false (a train making no progress really stands)");
    return text;
}

} // namespace

std::string soakReport(const SoakRun &run)
{
    const SoakStats &s = run.stats();
    const double seconds = static_cast<double>(s.simulated.count()) / 1e6;
    std::string text;
    text += format("relm-soak: seed %llu, %.3f simulated hours (%.1f s)\n",
                   ull(run.config().seed), seconds / 3600.0, seconds);
    text += format("  to the controller: %llu downloads, %llu initialisation frames, "
                   "%llu command frames\n",
                   ull(s.downloads), ull(s.initFrames), ull(s.commandFrames));
    text += format("  status frames: %llu sent, %llu reads by the console, %llu decoded\n",
                   ull(s.statusFrames), ull(s.reads), ull(s.decoded));
    text += format("  operator actions: %llu (", ull(s.operatorActions()));
    for (int k = 0; k < kOperatorActionKinds; ++k) {
        text += format("%s%s %llu", k == 0 ? "" : ", ", actionName(static_cast<OperatorAction>(k)),
                       ull(s.actions[static_cast<std::size_t>(k)]));
    }
    text += ")\n";
    text += format("  points: %llu armed, %llu completed; reversals completed: %llu\n",
                   ull(s.pointsArmed), ull(s.pointsCompleted), ull(s.reversalsCompleted));
    text += format("  sections entered: %llu; trains held by the controller: %llu; "
                   "layout halted by a stop sent during a download: %llu\n",
                   ull(s.sectionsEntered), ull(s.trainsHeld), ull(s.haltedAfterTransfer));
    text += format("  initial positions replaced before the initialisation frame: %llu\n",
                   ull(s.positionsReplaced));
    if (run.config().faults.any())
        text += faultLines(run);
    if (run.config().watch)
        text += watchLines(run);
    text += "  at the end:";
    for (int t = 0; t < kTrainCount; ++t) {
        const sim::TrainState &train = run.controller().train(t);
        text += format(" %c %s", 'X' + t,
                       train.present() ? format("in %02X at speed %d", train.reg(0),
                                                train.reportedSpeed()).c_str()
                                       : "absent");
        text += t + 1 < kTrainCount ? "," : "\n";
    }
    text += format("  violations: %llu", ull(s.violations));
    for (int k = 0; k < kViolationKinds; ++k) {
        const std::uint64_t n = s.violationsByKind[static_cast<std::size_t>(k)];
        if (n > 0)
            text += format(" (%s: %llu)", violationName(static_cast<ViolationKind>(k)), ull(n));
    }
    if (s.violationsAfterDamagedCommand > 0) {
        text += format("; %llu of them after damage to frames for the controller (within 5 s, "
                       "or on a train a damaged frame misplaced)",
                       ull(s.violationsAfterDamagedCommand));
    }
    text += "\n";

    for (const std::string &note : run.notes())
        text += "  note: " + note + "\n";

    for (const Violation &a : run.firstAlarms()) {
        text += format("\nFIRST ALARM (seed %llu) at %s: %s\n  last frames:\n",
                       ull(run.config().seed), sim::formatTime(a.at).c_str(), a.what.c_str());
        for (const std::string &line : a.trace)
            text += "    " + line + "\n";
    }

    int n = 0;
    for (const Violation &v : run.violations()) {
        text += format("\nVIOLATION %d (seed %llu) at %s: %s\n  %s\n  last frames:\n", ++n,
                       ull(run.config().seed), sim::formatTime(v.at).c_str(),
                       violationName(v.kind), v.what.c_str());
        for (const std::string &line : v.trace)
            text += "    " + line + "\n";
    }
    if (s.violations > run.violations().size()) {
        text += format("\n(%llu further violations counted without a trace)\n",
                       ull(s.violations - run.violations().size()));
    }
    return text;
}

} // namespace relm

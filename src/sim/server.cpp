#include "sim/server.h"

#include "sim/controller.h"
#include "sim/endpoint.h"
#include "sim/line_pacing.h"
#include "sim/replay_player.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace relm::sim {

namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void onSignal(int)
{
    g_stop = 1;
}

void installSignals()
{
    struct sigaction sa
    {
    };
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0; // no SA_RESTART: poll returns at once
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void printLine(Time at, std::string_view line)
{
    std::fprintf(stderr, "[%10s] %.*s\n", formatTime(at).c_str(), static_cast<int>(line.size()),
                 line.data());
}

constexpr Duration kLongestWait{10'000}; // the loop runs at least every 10 ms
// While nobody holds the line open. Short, because a console may write as soon as it opens the
// line, and a replay counts its time from when that first frame is read.
constexpr int kHangupSleepMs = 5;
constexpr std::size_t kReadChunk = 4096;

// Bytes queued in one direction with the time each leaves the line.
struct PacedQueue
{
    LinePacer pacer;
    std::deque<std::uint8_t> queue;
    std::size_t due = 0; // bytes whose time has come but that are not yet passed on

    void push(Time now, std::span<const std::uint8_t> bytes, bool pacing)
    {
        queue.insert(queue.end(), bytes.begin(), bytes.end());
        if (pacing)
            pacer.enqueue(now, bytes.size());
        else
            due += bytes.size();
    }
    void advance(Time now, bool pacing)
    {
        if (pacing)
            due += pacer.departed(now);
        due = std::min(due, queue.size());
    }
    void clear()
    {
        queue.clear();
        due = 0;
        pacer = LinePacer{};
    }
};

void printFaults(const LineFaults &f)
{
    for (const LineDirection d : {LineDirection::ToController, LineDirection::ToConsole}) {
        const FaultCounts &c = f.counts(d);
        std::fprintf(stderr,
                     "  line faults to the %s: %llu bit errors, %llu bytes lost, %llu frames "
                     "sent twice, %llu bytes lost in outages\n",
                     d == LineDirection::ToController ? "controller" : "console",
                     static_cast<unsigned long long>(c.bitErrors),
                     static_cast<unsigned long long>(c.dropped),
                     static_cast<unsigned long long>(c.duplicated),
                     static_cast<unsigned long long>(c.outageBytes));
    }
    std::fprintf(stderr, "  line outages: %llu\n", static_cast<unsigned long long>(f.outages()));
}

void printSummary(const Controller &c)
{
    const Stats &s = c.stats();
    const SafetyLog &safety = c.safety();
    std::fprintf(
        stderr,
        "relm-sim summary after %s s\n"
        "  frames in: %llu applied, %llu ignored (no program); bytes in: %llu\n"
        "  status frames out: %llu\n"
        "  downloads: %llu\n"
        "  malformed input: %llu (count over 24: %llu, address over 41: %llu, "
        "cut short: %llu, bad downloads: %llu, stray bytes: %llu in %llu runs)\n"
        "  commands: %llu stop, %llu refused\n"
        "  safety events: %zu (entered occupied: %zu, shared section: %zu, "
        "route faults: %zu)\n",
        formatTime(c.now()).c_str(), static_cast<unsigned long long>(s.framesIn),
        static_cast<unsigned long long>(s.framesIgnored),
        static_cast<unsigned long long>(s.bytesIn), static_cast<unsigned long long>(s.framesOut),
        static_cast<unsigned long long>(s.downloads),
        static_cast<unsigned long long>(s.malformed()),
        static_cast<unsigned long long>(s.countOverLimit),
        static_cast<unsigned long long>(s.addressOverLimit),
        static_cast<unsigned long long>(s.truncated),
        static_cast<unsigned long long>(s.badDownloads),
        static_cast<unsigned long long>(s.strayBytes), static_cast<unsigned long long>(s.strayRuns),
        static_cast<unsigned long long>(s.stopCommands),
        static_cast<unsigned long long>(s.badCommands), safety.events().size(),
        safety.count(SafetyKind::EnteredOccupied), safety.count(SafetyKind::SharedSection),
        safety.count(SafetyKind::RouteFault));
    for (const SafetyEvent &e : safety.events())
        std::fprintf(stderr, "    %s\n", describe(e).c_str());
}

// What answers the console at the controller's end of the line.
class Peer
{
public:
    virtual ~Peer() = default;
    // Runs up to `now`.
    virtual void advance(Time now) = 0;
    virtual void receive(std::span<const std::uint8_t> bytes, Time now) = 0;
    virtual std::vector<std::uint8_t> takeOutput(Time now) = 0;
    // When the peer next has something to do, if it knows.
    virtual std::optional<Time> nextDue() const = 0;
    // The console closed the line.
    virtual void lineClosed() = 0;
    // True when serving should end.
    virtual bool done(Time now) const = 0;
};

// The simulated controller: trains, registers and status frames in virtual time.
class ControllerPeer final : public Peer
{
public:
    explicit ControllerPeer(Controller &c)
        : m_controller(c)
    {}
    void advance(Time now) override { m_controller.step(now - m_controller.now()); }
    void receive(std::span<const std::uint8_t> bytes, Time) override
    {
        m_controller.receive(bytes);
    }
    std::vector<std::uint8_t> takeOutput(Time) override { return m_controller.takeOutput(); }
    std::optional<Time> nextDue() const override { return std::nullopt; }
    void lineClosed() override {}
    bool done(Time) const override { return false; }

private:
    Controller &m_controller;
};

// A recording played back: ends when it has run out or the console has gone after starting it.
class ReplayPeer final : public Peer
{
public:
    explicit ReplayPeer(ReplayPlayer &p)
        : m_player(p)
    {}
    void advance(Time) override {}
    void receive(std::span<const std::uint8_t> bytes, Time now) override
    {
        m_player.receive(bytes, now);
    }
    std::vector<std::uint8_t> takeOutput(Time now) override { return m_player.takeDue(now); }
    std::optional<Time> nextDue() const override { return m_player.nextDue(); }
    void lineClosed() override { m_closed = m_player.started(); }
    bool done(Time now) const override { return m_closed || m_player.over(now); }

private:
    ReplayPlayer &m_player;
    bool m_closed = false;
};

// Bytes from the console reaching the peer, through the line's faults if it has any.
void deliver(std::vector<std::uint8_t> bytes, Peer &peer, Time now, LineFaults *faults)
{
    if (faults != nullptr)
        faults->damage(LineDirection::ToController, now, bytes);
    if (!bytes.empty())
        peer.receive(bytes, now);
}

// Hands every byte read from the line so far to the peer, whether its time has come or not.
void deliverAll(PacedQueue &in, Peer &peer, Time now, LineFaults *faults)
{
    if (!in.queue.empty())
        deliver({in.queue.begin(), in.queue.end()}, peer, now, faults);
    in.clear();
}

// Queues what the peer produced for the console: each status frame goes out once, or twice when
// the line repeats it, and the bytes are damaged as the line's faults say.
void queueForConsole(PacedQueue &out, std::vector<std::uint8_t> produced, Time now, bool pacing,
                     LineFaults *faults)
{
    if (faults == nullptr) {
        out.push(now, produced, pacing);
        return;
    }
    for (std::size_t at = 0; at < produced.size(); at += kStatusFrameBytes) {
        const std::size_t n = std::min<std::size_t>(kStatusFrameBytes, produced.size() - at);
        for (int copy = faults->copies(LineDirection::ToConsole, n); copy > 0; --copy) {
            std::vector<std::uint8_t> frame(produced.begin() + static_cast<long>(at),
                                            produced.begin() + static_cast<long>(at + n));
            faults->damage(LineDirection::ToConsole, now, frame);
            out.push(now, frame, pacing);
        }
    }
}

// Moves bytes between the line and the peer until a signal or until the peer is done; the
// line's faults, if given, act on both directions. Returns the time it stopped at.
Time runLine(const Endpoint &line, bool pacing, Peer &peer, LineFaults *faults = nullptr)
{
    PacedQueue in;
    PacedQueue out;
    bool open = true; // somebody holds the far side of the line open
    bool everOpen = false;
    const auto start = std::chrono::steady_clock::now();
    const auto clock = [&start] {
        return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - start);
    };
    printLine(Time{}, "serving " + line.path() + (pacing ? ", paced at 960 bytes/s" : ""));
    // The console reads the device's name as soon as it is printed and may open it before the
    // loop first looks: a pseudo-terminal nobody holds reports a hangup at once, one already held
    // does not, and without this look its opening would never be told (nor its closing).
    if (line.pty()) {
        pollfd first{line.fd(), POLLIN, 0};
        if (poll(&first, 1, 0) >= 0 && (first.revents & POLLHUP) == 0) {
            everOpen = true;
            printLine(clock(), "the console opened the line");
        }
    }

    while (g_stop == 0 && !peer.done(clock())) {
        Time now = clock();
        peer.advance(now);
        in.advance(now, pacing);
        if (in.due > 0) {
            std::vector<std::uint8_t> bytes(in.queue.begin(),
                                            in.queue.begin() + static_cast<long>(in.due));
            in.queue.erase(in.queue.begin(), in.queue.begin() + static_cast<long>(in.due));
            in.due = 0;
            deliver(std::move(bytes), peer, now, faults);
        }
        std::vector<std::uint8_t> produced = peer.takeOutput(now);
        if (open && !produced.empty())
            queueForConsole(out, std::move(produced), now, pacing, faults);
        out.advance(now, pacing);
        while (out.due > 0) {
            std::uint8_t chunk[256];
            const std::size_t n = std::min(out.due, sizeof chunk);
            std::copy_n(out.queue.begin(), n, chunk);
            const ssize_t w = write(line.fd(), chunk, n);
            if (w <= 0)
                break; // full or gone; tried again on the next round
            out.queue.erase(out.queue.begin(), out.queue.begin() + w);
            out.due -= static_cast<std::size_t>(w);
        }

        if (!open) {
            // poll() reports a hangup at once however long we ask it to wait: sleep instead.
            poll(nullptr, 0, kHangupSleepMs);
            pollfd check{line.fd(), POLLIN, 0};
            if (poll(&check, 1, 0) >= 0 && (check.revents & POLLHUP) == 0) {
                open = true;
                everOpen = true;
                printLine(clock(), "the console opened the line");
            }
            continue;
        }

        Duration wait = kLongestWait;
        for (const PacedQueue *d : {&in, &out}) {
            if (const auto next = d->pacer.nextDeparture())
                wait = std::min(wait, std::max(Duration{0}, *next - now));
        }
        if (const auto next = peer.nextDue())
            wait = std::min(wait, std::max(Duration{0}, *next - now));
        pollfd p{line.fd(), POLLIN, 0};
        const int timeoutMs = static_cast<int>((wait.count() + 999) / 1000);
        if (poll(&p, 1, timeoutMs) < 0)
            continue; // a signal; the loop condition decides
        bool hangup = (p.revents & (POLLHUP | POLLERR)) != 0;
        if ((p.revents & POLLIN) != 0) {
            std::uint8_t buf[kReadChunk];
            const ssize_t r = read(line.fd(), buf, sizeof buf);
            if (r > 0) {
                const std::span<const std::uint8_t> got(buf, static_cast<std::size_t>(r));
                // A read holds what the console wrote at once, as a rule one frame.
                const int copies =
                    faults != nullptr ? faults->copies(LineDirection::ToController, got.size())
                                      : 1;
                for (int copy = 0; copy < copies; ++copy)
                    in.push(clock(), got, pacing);
            } else if (r == 0 || errno == EIO) {
                hangup = true;
            }
        }
        if (hangup) {
            open = false;
            // What the console wrote before it went still reaches the controller.
            deliverAll(in, peer, clock(), faults);
            out.clear();
            if (everOpen)
                peer.lineClosed();
            printLine(clock(), everOpen ? "the console closed the line; waiting for it"
                                        : "waiting for the console to open the line");
        } else if ((p.revents & POLLIN) != 0) {
            everOpen = true;
        }
    }
    const Time end = clock();
    deliverAll(in, peer, end, faults);
    return end;
}

} // namespace

int serve(const Endpoint &line, const Options &options)
{
    installSignals();
    ControllerConfig config;
    if (options.statusIntervalMs)
        config.statusInterval = Duration{*options.statusIntervalMs * 1000};
    Controller controller(config);
    controller.setLog(printLine);
    if (options.verbose)
        controller.setTrace(printLine);
    ControllerPeer peer(controller);
    std::optional<LineFaults> faults;
    if (options.faults.any()) {
        faults.emplace(options.faults, 1);
        printLine(Time{}, "line faults: " + describe(options.faults));
    }
    runLine(line, options.pacing, peer, faults ? &*faults : nullptr);
    printSummary(controller);
    if (faults)
        printFaults(*faults);
    return 0;
}

int serveReplay(const Endpoint &line, const Options &options, ReplayPlan plan)
{
    installSignals();
    const std::size_t blocks = plan.blocks.size();
    ReplayPlayer player(std::move(plan), options.pacing);
    if (options.verbose)
        player.setTrace(printLine);
    ReplayPeer peer(player);
    const Time end = runLine(line, options.pacing, peer);
    if (!player.started())
        printLine(end, "the console sent no frame; nothing was played");
    const ReplayReport report = player.finish(end);
    for (const std::string &text : reportLines(report))
        std::printf("%s\n", text.c_str());
    std::fflush(stdout);
    std::fprintf(stderr,
                 "relm-sim replay after %s s: %zu of %zu status blocks played, %zu frames "
                 "received, %zu bytes outside any frame, %zu one-tick repeats absorbed, %zu "
                 "frames after the recording not compared\n",
                 formatTime(end).c_str(), player.blocksPlayed(), blocks, player.sent().size(),
                 player.malformedBytes(), report.driftAbsorbed, report.notCompared);
    return replayExitStatus(report);
}

} // namespace relm::sim

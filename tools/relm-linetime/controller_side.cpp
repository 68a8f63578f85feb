#include "controller_side.h"

#include "sim/controller.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <pty.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

namespace relm {

namespace {

constexpr int kLongestWaitMs = 10; // the simulated controller runs at least every 10 ms
constexpr int kReaderPriority = 10;
constexpr std::size_t kReadChunk = 4096;

} // namespace

ControllerSide::ControllerSide(ControllerSideOptions options)
    : m_options(options)
{}

ControllerSide::~ControllerSide()
{
    stop();
    if (m_master >= 0)
        ::close(m_master);
    if (m_slave >= 0)
        ::close(m_slave);
}

bool ControllerSide::open(std::string &error)
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        error = std::string("openpty: ") + std::strerror(errno);
        m_master = m_slave = -1;
        return false;
    }
    termios tio{};
    ::tcgetattr(m_slave, &tio);
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    ::tcsetattr(m_slave, TCSANOW, &tio);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_device = name;
    return true;
}

void ControllerSide::start()
{
    m_stop = false;
    m_thread = std::thread([this] { run(); });
}

void ControllerSide::stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

std::vector<SentFrame> ControllerSide::frames() const
{
    const std::lock_guard lock(m_mutex);
    return m_frames;
}

std::size_t ControllerSide::strayBytes() const
{
    const std::lock_guard lock(m_mutex);
    return m_stray;
}

void ControllerSide::run()
{
    if (m_options.realtimeReader) {
        sched_param param{};
        param.sched_priority = kReaderPriority;
        const bool granted = ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param) == 0;
        const std::lock_guard lock(m_mutex);
        m_realtime = granted;
    }

    sim::ControllerConfig config;
    if (m_options.statusIntervalMs)
        config.statusInterval = sim::Duration{*m_options.statusIntervalMs * 1000};
    sim::Controller controller(config);
    if (m_options.verbose) {
        const auto print = [](sim::Time at, std::string_view line) {
            std::fprintf(stderr, "[%10s] %.*s\n", sim::formatTime(at).c_str(),
                         static_cast<int>(line.size()), line.data());
        };
        controller.setLog(print);
        controller.setTrace(print);
    }
    FrameTimeline timeline;
    // The record of frames is made resident up front, so that the memory figures of a long
    // run show the console and not the recording.
    std::vector<SentFrame> frames(m_options.expectedFrames);
    frames.clear();
    std::array<std::uint8_t, 3> lastOwn{0x80, 0x80, 0x80};
    const LineTime start = LineClock::now();

    while (!m_stop) {
        pollfd p{m_master, POLLIN, 0};
        const int ready = ::poll(&p, 1, kLongestWaitMs);
        const LineTime now = LineClock::now();
        if (ready > 0 && (p.revents & POLLIN) != 0) {
            std::array<std::uint8_t, kReadChunk> buf{};
            const ssize_t n = ::read(m_master, buf.data(), buf.size());
            if (n > 0) {
                const std::span<const std::uint8_t> chunk(buf.data(), static_cast<std::size_t>(n));
                timeline.feed(chunk, now);
                for (const SentFrame &f : timeline.take()) {
                    if (f.kind == SentKind::Command)
                        ++m_commandFrames;
                    frames.push_back(f);
                }
                if (m_options.answer)
                    controller.receive(chunk);
            }
        }
        if (!m_options.answer)
            continue;
        controller.step(std::chrono::duration_cast<sim::Duration>(now - start) - controller.now());
        const std::vector<std::uint8_t> status = controller.takeOutput();
        m_safetyEvents = controller.safety().events().size();
        for (std::size_t at = 0; at + sim::kStatusFrameBytes <= status.size();
             at += sim::kStatusFrameBytes) {
            ++m_statusFrames;
            for (std::size_t t = 0; t < lastOwn.size(); ++t) {
                const std::uint8_t own = status[at + t * sim::kStatusRecordBytes];
                if (own != lastOwn[t] && (own & 0x80) == 0)
                    ++m_trainMoves;
                lastOwn[t] = own;
            }
        }
        if (!status.empty()) {
            // A pty takes a status frame whole; a full queue loses it, as a line with nobody
            // reading would.
            [[maybe_unused]] const ssize_t w = ::write(m_master, status.data(), status.size());
        }
    }

    const std::lock_guard lock(m_mutex);
    m_frames = std::move(frames);
    m_stray = timeline.strayBytes();
}

} // namespace relm

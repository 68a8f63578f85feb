#pragma once

// The controller's end of the pseudo-terminal, served from a thread of its own so that the
// arrival of each byte is stamped while the console's thread is busy elsewhere. It cuts what the
// console sends into frames and, unless told to only listen, answers as the simulated
// controller does: status frames with the trains moving as the console commands them.

#include "frame_timeline.h"

#include <atomic>
#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace relm {

struct ControllerSideOptions
{
    bool answer = true;                  // run the simulated controller and send status frames
    std::optional<int> statusIntervalMs; // overrides the program image's status interval
    bool realtimeReader = true;          // ask for a real-time priority for the reading thread
    bool verbose = false;                // the simulated controller's log and frames on stderr
    std::size_t expectedFrames = 0;      // room made before the run, so recording stays flat
};

class ControllerSide final
{
public:
    explicit ControllerSide(ControllerSideOptions options);
    ControllerSide(const ControllerSide &) = delete;
    ControllerSide &operator=(const ControllerSide &) = delete;
    ~ControllerSide();

    // Opens the pseudo-terminal; the console opens devicePath(). False, with the reason, on
    // failure.
    bool open(std::string &error);
    const std::string &devicePath() const { return m_device; }

    void start();
    void stop();

    // Safe to call while running.
    std::size_t commandFrames() const { return m_commandFrames.load(); }
    std::size_t statusFramesSent() const { return m_statusFrames.load(); }
    std::size_t trainMoves() const { return m_trainMoves.load(); }
    std::size_t safetyEvents() const { return m_safetyEvents.load(); }

    // After stop(): every frame the console sent, and the bytes that started none.
    std::vector<SentFrame> frames() const;
    std::size_t strayBytes() const;
    bool realtimeGranted() const { return m_realtime; }

private:
    void run();

    ControllerSideOptions m_options;
    int m_master = -1;
    int m_slave = -1; // held open so the line stays up while the console reopens it
    std::string m_device;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<std::size_t> m_commandFrames{0};
    std::atomic<std::size_t> m_statusFrames{0};
    std::atomic<std::size_t> m_trainMoves{0};
    std::atomic<std::size_t> m_safetyEvents{0};
    mutable std::mutex m_mutex; // guards the results below once the thread has ended
    std::vector<SentFrame> m_frames;
    std::size_t m_stray = 0;
    bool m_realtime = false;
};

} // namespace relm

#pragma once

#include "console/operator_commands.h"
#include "console/transfer.h"
#include "link/mscomm1.h"
#include "link/report_watch.h"
#include "link/status_event.h"
#include "model/colours.h"
#include "model/module1.h"
#include "model/section_code.h"
#include "traffic/frame_decoder.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace relm {

class TrafficLogWriter;

inline constexpr int kSliderMaximum = 128; // speed slider range: 0 (top, full speed) .. 128 (stop)

// What every view of the console shows of one train.
struct TrainDisplay
{
    QString caption;                           // Label2: behind, own, next, after next in hex
    std::optional<std::uint32_t> statusColour; // Label2 background; none before the first frame
    int barHeight = 0;                         // Shape1, twips
    int barTop = 0;                            // Shape1, twips: the bar rests on its frame's bottom
    std::uint32_t pointColour = kButtonFaceColour;   // Command4 back colour
    std::uint32_t reverseColour = kButtonFaceColour; // Command6 back colour
    int sliderPosition = kSliderMaximum;             // Slider1; the requested speed is 128 minus it

    bool operator==(const TrainDisplay &) const = default;
};

// What every view shows of the console as a whole.
struct ConsoleDisplay
{
    QString caption = QStringLiteral("RELM"); // main window caption: line lost, download progress
    QString label1;                            // received bytes, or the download's progress text
    bool transferEnabled = true;               // Command2 転送
    bool resetEnabled = false;                 // Command7 リセット
    bool running = false;                      // the command cycle's timer runs
    bool downloading = false;                  // a download frame is leaving the port
    bool lineLost = false;                     // the serial line went away; retried every second
    qint64 downloadSent = 0;                   // bytes of the download frame that have left
    qint64 downloadTotal = 0;                  // its length

    bool operator==(const ConsoleDisplay &) const = default;
};

// The console's behaviour, apart from any window: the serial line MSComm1, the command cycle's
// Timer1, the handlers of ticks, status frames, the download and the operator's commands, and the
// traffic log. The main window, the remote panel and the signal handling all command it through
// the same methods and follow it through its signals; none of them keeps rules of its own.
class Console final : public QObject
{
    Q_OBJECT

public:
    // Ends the program with the given status once the last frame has left.
    using ProgramEnder = std::function<void(int status)>;

    Console(Module1 &module, const QString &portName, QObject *parent = nullptr);
    Console(const Console &) = delete;
    Console &operator=(const Console &) = delete;
    ~Console() override;

    // Start-up: opens the port, puts the sliders at the stop end, empties the status labels and
    // speed bars and sets the map colours. False, with the reason, when the port cannot be opened.
    bool start(QString *error);

    // The layout's figures the report watch judges a train's progress by.
    void setWatchSettings(const WatchSettings &settings) { m_watch = ReportWatch(settings); }
    const ReportWatch &watch() const { return m_watch; }

    // The speed bars' fixed frame (Shape2), whose height and top the bar is drawn against.
    void setBarFrame(BarFrame frame) { m_barFrame = frame; }
    BarFrame barFrame() const { return m_barFrame; }

    // Appends every frame in both directions to the file; false, with the reason, if it cannot
    // be opened.
    bool setTrafficLog(const QString &path, QString *error);
    void setProgramEnder(ProgramEnder ender) { m_end = std::move(ender); }

    // Who gives a command. The window, the signals and the console itself are the desk; each
    // remote operator (a panel page, a throttle connection) has an id of its own, for the
    // dead-man rule: see remoteOperatorGone().
    using OperatorId = int;
    static constexpr OperatorId kDesk = 0;
    OperatorId newRemoteOperator() { return ++m_lastOperator; }

    // Operator commands: every way of operating calls these, so every rule holds for each.
    // Slider1: position 0 (full speed) .. 128 (stop)
    void moveSlider(int t, int position, OperatorId by = kDesk);
    void requestSpeed(int t, int speed, OperatorId by = kDesk); // the same, as a speed 0..128
    void stop(int t);                                           // 停止
    void emergencyStop(int t); // 非常停止: speed 0 in the next frame, not ramped; shown as 停止
    void point(int t);                    // ポイント
    void reverse(int t);                  // 逆転
    void transfer();                      // 転送
    void reset();                         // リセット
    // 終了: at once while the cycle is stopped, after the frame carrying the stop command while
    // it runs. status is the program's exit status.
    void exit(int status = 0);

    // A remote operator went away (closed, lost, silent). Each train it was the last to set
    // moving, and that nobody has set since, gets 停止 exactly as from its button. Returns those
    // trains; the caller notes why.
    std::vector<int> remoteOperatorGone(OperatorId id);
    // The remote operator that last set train t moving, if nobody has set it since.
    std::optional<OperatorId> mover(int t) const { return m_movers[static_cast<std::size_t>(t)]; }
    // A remote operator gives train t back in good order (a throttle released it or said goodbye):
    // it no longer answers for the train, which keeps its speed. True when it was answering.
    bool handBack(int t, OperatorId by);

    // Whether train t stands, by the last believed status frame and the speed sent to it: the
    // reversal pass's own rule.
    bool standsStill(int t) const;
    // Which way train t runs as last reported: towards decreasing section index when true.
    bool runsReverse(int t) const
    {
        return isReverse(m_module.PosCode0[static_cast<std::size_t>(t)]);
    }
    // Whether 逆転 for train t would be taken now; why not, when it would not.
    std::optional<ReversalRefusal> reversalRefusal(int t) const;

    // Tells the operator something about the line or the trains that is not a frame: a line on
    // standard error, in the traffic log and in the traffic monitor.
    void note(const QString &text);

    const Module1 &module() const { return m_module; }
    const TrainDisplay &train(int t) const { return m_trains[static_cast<std::size_t>(t)]; }
    const ConsoleDisplay &display() const { return m_display; }
    // Milliseconds since the console was created; traffic times count from it.
    qint64 elapsedMs() const { return m_clock.elapsed(); }

    QTimer Timer1;         // command cycle: 1000 ms after a download, then 200 ms
    relm::MSComm1 MSComm1; // serial line to the track controller
    bool ExitPending = false; // Exit waits for the next command frame

    // Handlers, public so that tests can drive the console as the event loop would.
    void onTick();
    void onComm();
    void onLineLost();
    void onReopen();
    void onDrainPoll();

signals:
    void trainChanged(int t);      // train(t) changed
    void displayChanged();         // display() changed
    void mapRedraw(int times);     // the map is to be drawn again this many times (KDisp)
    void mapWindowWanted();        // a download finished: the map window is shown
    void statusDecoded();          // a status frame has been decoded into the tables
    void operatorCommand();        // an operator command has been carried out
    // A frame went to the line or was read from it.
    void frameTransferred(qint64 ms, relm::Direction direction, const QByteArray &bytes);
    // A note (see note()) at ms since the console was created.
    void noteRecorded(qint64 ms, const QString &text);
    // The operator must be told: a message box's text, with a beep first when beep is set.
    void notice(const QString &text, bool beep);

private:
    void send(std::span<const std::uint8_t> bytes);
    void record(Direction direction, std::span<const std::uint8_t> bytes);
    void setTrain(int t, const TrainDisplay &d);
    void showStopped(int t); // the slider at the stop end after 停止 or 非常停止
    FrameReading lastReading() const;
    void applyTrainView(int t, const TrainView &v);
    void applyWatch(const std::optional<std::string> &caption, const std::vector<std::string> &notices);
    WatchClock watchNow() const { return WatchClock(m_clock.elapsed()); }
    void setDisplay(const ConsoleDisplay &d);
    void refreshCaption(ConsoleDisplay &d) const;
    void finishDownload();
    void failDownload(const QString &reason);
    void endProgram(int status);

    Module1 &m_module;
    std::array<TrainDisplay, kTrainCount> m_trains;
    ConsoleDisplay m_display;
    BarFrame m_barFrame{1575, 1920};
    ReportWatch m_watch;            // whether the controller's reports can be believed
    QString m_watchCaption;         // the watch's caption; "RELM" while all is well
    std::unique_ptr<TrafficLogWriter> m_log;
    bool m_logFailed = false; // a failed log write is reported once
    QElapsedTimer m_clock;
    QTimer m_reopen;    // while the line is lost: try to open the device again every second
    QTimer m_drainPoll; // while a download leaves the port: look at what is left to send
    StartPositions m_startPositions; // checked before the download, placed after it
    std::array<std::optional<OperatorId>, kTrainCount> m_movers; // remote operator per train
    FrameReading m_lastReading; // of the last decoded status frame since the download
    OperatorId m_lastOperator = kDesk;
    bool m_lostDuringDownload = false;
    ProgramEnder m_end;
    int m_exitStatus = 0;
    bool m_ending = false;
};

} // namespace relm

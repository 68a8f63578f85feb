#pragma once

#include "link/mscomm1.h"
#include "model/module1.h"
#include "traffic/frame_decoder.h"

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QSlider;

namespace relm {

class Form3;
class MonitorWindow;
class RectShape;
class TrafficLogWriter;

// The operator's main window: one column per train (status, speed bar, slider, Stop, Point,
// Reverse) and the global buttons. It forwards input to the core, applies what the core returns
// to its controls and the serial port, and owns the command cycle's timer and the port.
class Form1 final : public QWidget
{
    Q_OBJECT

public:
    // Shows an error or notice to the operator: the window's caption and the text.
    using MessageReporter = std::function<void(const QString &title, const QString &text)>;
    // Ends the program with the given status once the last frame has left.
    using ProgramEnder = std::function<void(int status)>;

    Form1(Module1 &module, const QString &portName, QWidget *parent = nullptr);
    Form1(const Form1 &) = delete;
    Form1 &operator=(const Form1 &) = delete;
    ~Form1() override;

    // Start-up: opens the port, puts the sliders at the stop end, empties the status labels and
    // speed bars, sets the map colours and shows the map window. False, with the reason, when
    // the port cannot be opened.
    bool load(QString *error);

    // The map window, created (not shown) on first use.
    Form3 &form3();

    // The traffic monitor (F2), created on first use.
    MonitorWindow &monitor();
    void showMonitor();

    // Appends every frame in both directions to the file; false, with the reason, if it cannot
    // be opened.
    bool setTrafficLog(const QString &path, QString *error);

    void setMessageReporter(MessageReporter reporter) { m_report = std::move(reporter); }
    void setProgramEnder(ProgramEnder ender) { m_end = std::move(ender); }

    // Per-train controls, indexed by train (0 = X, 1 = Y, 2 = Z).
    std::array<RectShape *, 3> Shape3{};    // frame around the train's column
    std::array<QLabel *, 3> Label2{};       // status: codes and status colour
    std::array<QPushButton *, 3> Command6{}; // 逆転 (Reverse)
    std::array<QPushButton *, 3> Command4{}; // ポイント (Point)
    std::array<RectShape *, 3> Shape2{};    // speed bar frame, rearmost
    std::array<RectShape *, 3> Shape1{};    // speed bar fill, anchored to the frame's bottom
    std::array<RectShape *, 3> Shape4{};    // speed bar outline, frontmost
    std::array<QSlider *, 3> Slider1{};     // requested speed: 0 at the top is full speed
    std::array<QPushButton *, 3> Command1{}; // 停止 (Stop)

    // Global controls.
    QLabel *Label3 = nullptr;        // hidden, unused
    QPushButton *Command2 = nullptr; // 転送 (Transfer): program download
    QPushButton *Command7 = nullptr; // リセット (Reset)
    QPushButton *Command5 = nullptr; // 初期データ設定 (Initial data setting)
    QPushButton *Command3 = nullptr; // 終了 (Exit)
    QLabel *Label1 = nullptr;        // hidden: download progress and received bytes
    QTimer Timer1;                   // command cycle: 1000 ms after a download, then 200 ms
    relm::MSComm1 MSComm1;           // serial line to the track controller

    bool ExitPending = false; // Exit waits for the next command frame

    // Handlers, public so that tests can drive the window as the event loop would.
    void onTick();
    void onComm();
    void onTransfer();
    void onLineLost();
    void onReopen();

    bool lineLost() const { return m_reopen.isActive(); }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void connectControls();
    void setButtonColour(QPushButton *button, std::uint32_t colour);
    void onSlider(int t, int value);
    void onStop(int t);
    void onPoint(int t);
    void onReverse(int t);
    void onReset();
    void onExit();
    void onInitialData();
    bool waitForDownloadToDrain();
    void send(std::span<const std::uint8_t> bytes);
    void record(Direction direction, std::span<const std::uint8_t> bytes);
    void endProgram(int status);
    void report(const QString &text);

    Module1 &m_module;
    std::unique_ptr<Form3> m_form3;
    std::unique_ptr<MonitorWindow> m_monitor;
    std::unique_ptr<TrafficLogWriter> m_log;
    bool m_logFailed = false; // a failed log write is reported once
    QElapsedTimer m_clock;    // traffic times count from the window's creation
    QTimer m_reopen; // while the line is lost: try to open the device again every second
    MessageReporter m_report;
    ProgramEnder m_end;
    bool m_ending = false;      // the program is ending; a download in progress stops waiting
    bool m_downloading = false; // Transfer waits for its frame to leave
};

} // namespace relm

#pragma once

#include "widgets/wrap_button.h"

#include <QString>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class QLabel;
class QPushButton;
class QSlider;

namespace relm {

class Console;
class Form3;
class MonitorWindow;
class RectShape;

// The operator's main window: one column per train (status, speed bar, slider, Stop, Point,
// Reverse) and the global buttons. It forwards the operator's input to the console object and
// shows what the console reports; it decides nothing itself.
class Form1 final : public QWidget
{
    Q_OBJECT

public:
    // Shows an error or notice to the operator: the window's caption and the text.
    using MessageReporter = std::function<void(const QString &title, const QString &text)>;

    explicit Form1(Console &console, QWidget *parent = nullptr);
    Form1(const Form1 &) = delete;
    Form1 &operator=(const Form1 &) = delete;
    ~Form1() override;

    // Start-up: the console opens the port and sets its start values, the controls show them,
    // and the map window opens beside this one. False, with the reason, when the port cannot be
    // opened.
    bool load(QString *error);

    // The map window, created (not shown) on first use.
    Form3 &form3();
    // Shows the map window and brings it to the front (F3, and after a download).
    void showMap();

    // The traffic monitor (F2), created on first use.
    MonitorWindow &monitor();
    void showMonitor();

    void setMessageReporter(MessageReporter reporter) { m_report = std::move(reporter); }

    // The remote panel's control address, shown in the traffic monitor.
    void setRemotePanelUrl(const QString &url);

    // Per-train controls, indexed by train (0 = X, 1 = Y, 2 = Z).
    std::array<RectShape *, 3> Shape3{};     // frame around the train's column
    std::array<QLabel *, 3> Label2{};        // status: codes and status colour
    std::array<WrapButton *, 3> Command6{};  // 逆転 (Reverse)
    std::array<WrapButton *, 3> Command4{};  // ポイント (Point)
    std::array<RectShape *, 3> Shape2{};     // speed bar frame, rearmost
    std::array<RectShape *, 3> Shape1{};     // speed bar fill, anchored to the frame's bottom
    std::array<RectShape *, 3> Shape4{};     // speed bar outline, frontmost of the bar shapes
    std::array<QSlider *, 3> Slider1{};      // requested speed: 0 at the top is full speed
    std::array<WrapButton *, 3> Command1{};  // 停止 (Stop)

    // Global controls.
    QLabel *Label3 = nullptr;       // hidden, unused
    WrapButton *Command2 = nullptr; // 転送 (Transfer): program download
    WrapButton *Command7 = nullptr; // リセット (Reset)
    WrapButton *Command5 = nullptr; // 初期データ設定 (Initial data setting)
    WrapButton *Command3 = nullptr; // 終了 (Exit)
    QLabel *Label1 = nullptr;       // hidden: download progress and received bytes

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    void connectControls();
    void applyTrain(int t);
    void applyDisplay();
    void onNotice(const QString &text, bool beep);
    void onMapRedraw(int times);
    void onInitialData();

    Console &m_console;
    std::unique_ptr<Form3> m_form3;
    std::unique_ptr<MonitorWindow> m_monitor;
    MessageReporter m_report;
    QString m_panelUrl;
};

} // namespace relm

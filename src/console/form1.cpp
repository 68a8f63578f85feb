#include "console/form1.h"

#include "console/monitor_window.h"
#include "console/operator_commands.h"
#include "initdata/form2.h"
#include "initdata/load_ini.h"
#include "link/command_tick.h"
#include "link/download_frame.h"
#include "link/status_event.h"
#include "map/form3.h"
#include "traffic/traffic_log.h"
#include "widgets/rect_shape.h"
#include "widgets/ui_units.h"
#include "widgets/wrap_button.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace relm {

namespace {

constexpr int kColumnStep = 1800; // twips between the columns of trains X, Y and Z
constexpr int kSliderMaximum = 128;
constexpr int kClientWidth = 7215;
constexpr int kClientHeight = 5370;
constexpr std::uint32_t kActiveBorderColour = 0x8000000A;
constexpr int kStartIntervalMs = 200;
constexpr int kDownloadStartMs = 1000;
constexpr int kDrainPollMs = 10;
constexpr int kExitFlushMs = 2000;
constexpr int kReopenMs = 1000;
constexpr int kWindowGap = 16; // pixels between the main window and the map window

const char *const kImageFile = "atctest.bin";

QPushButton *makeButton(QWidget *parent, const QString &caption, QRect geometry)
{
    auto *b = new WrapButton(caption, parent);
    b->setGeometry(geometry);
    return b;
}

QLabel *makeLabel(QWidget *parent, const QString &caption, QRect geometry)
{
    auto *l = new QLabel(caption, parent);
    l->setGeometry(geometry);
    return l;
}

} // namespace

Form1::Form1(Module1 &module, const QString &portName, QWidget *parent)
    : QWidget(parent)
    , m_module(module)
{
    setWindowTitle(QStringLiteral("RELM"));
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, toQColor(kActiveBorderColour));
    setPalette(pal);
    setAutoFillBackground(true);

    createControls();

    m_clock.start();
    MSComm1.setPortName(portName);
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer1.setInterval(kStartIntervalMs);
    m_reopen.setInterval(kReopenMs);

    m_report = [this](const QString &title, const QString &text) {
        QMessageBox::warning(this, title, text);
    };
    m_end = [this](int status) {
        MSComm1.flush(kExitFlushMs);
        QCoreApplication::exit(status);
    };

    connectControls();
}

Form1::~Form1() = default;

void Form1::createControls()
{
    for (int t = 0; t < kTrainCount; ++t) {
        const int dx = kColumnStep * t;
        Shape3[t] = new RectShape(this, 240 + dx, 240, 1695, 4335);
        Label2[t] = makeLabel(this, QStringLiteral("Label2"), twipsRect(480 + dx, 480, 1215, 375));
        Label2[t]->setAutoFillBackground(true);
        Command6[t] = makeButton(this, QStringLiteral("逆転"), twipsRect(480 + dx, 1080, 495, 495));
        Command4[t] =
            makeButton(this, QStringLiteral("ポイント"), twipsRect(1200 + dx, 1080, 495, 495));
        // Rearmost first: the frame, then the fill, then the outline drawn over the fill.
        Shape2[t] = new RectShape(this, 480 + dx, 1920, 375, 1575);
        Shape2[t]->setFill(RectShape::Fill::Opaque, 0xFFFFFF);
        Shape1[t] = new RectShape(this, 480 + dx, 1920, 375, 1575);
        Shape1[t]->setFill(RectShape::Fill::Opaque, kRequestColour);
        Shape1[t]->setBorderColour(kRequestColour);
        Shape4[t] = new RectShape(this, 480 + dx, 1920, 375, 1575);
        Slider1[t] = new QSlider(Qt::Vertical, this);
        Slider1[t]->setGeometry(twipsRect(1080 + dx, 1800, 630, 1815));
        Slider1[t]->setRange(0, kSliderMaximum);
        // 0 at the top (full speed), 128 at the bottom (stop).
        Slider1[t]->setInvertedAppearance(true);
        Slider1[t]->setInvertedControls(true);
        Slider1[t]->setTickPosition(QSlider::TicksRight);
        Slider1[t]->setTickInterval(16);
        Slider1[t]->setPageStep(16);
        Command1[t] = makeButton(this, QStringLiteral("停止"), twipsRect(600 + dx, 3840, 975, 495));
    }
    Label3 = makeLabel(this, QStringLiteral("Label3"), twipsRect(6000, 240, 855, 375));
    Label3->hide();
    Command2 = makeButton(this, QStringLiteral("転送"), twipsRect(6000, 960, 855, 495));
    Command7 = makeButton(this, QStringLiteral("リセット"), twipsRect(6000, 1680, 855, 495));
    Command7->setEnabled(false);
    Command5 = makeButton(this, QStringLiteral("初期データ設定"), twipsRect(6000, 2400, 855, 495));
    Command3 = makeButton(this, QStringLiteral("終了"), twipsRect(6000, 4080, 855, 495));
    Label1 = makeLabel(this, QStringLiteral("Label1"), twipsRect(120, 4800, 6975, 375));
    Label1->hide();

    // Keyboard order: Transfer, Exit, the sliders, Reverse, Stop, Point, then the rest.
    std::vector<QWidget *> order{Command2, Command3};
    for (auto *group : {&Slider1})
        for (auto *w : *group)
            order.push_back(w);
    for (auto *group : {&Command6, &Command1, &Command4})
        for (auto *w : *group)
            order.push_back(w);
    order.push_back(Command5);
    order.push_back(Command7);
    for (std::size_t i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    Command2->setFocus();
}

void Form1::connectControls()
{
    // Per-train controls.
    for (int t = 0; t < kTrainCount; ++t) {
        connect(Slider1[t], &QSlider::valueChanged, this, [this, t](int v) { onSlider(t, v); });
        connect(Command1[t], &QPushButton::clicked, this, [this, t] { onStop(t); });
        connect(Command4[t], &QPushButton::clicked, this, [this, t] { onPoint(t); });
        connect(Command6[t], &QPushButton::clicked, this, [this, t] { onReverse(t); });
    }
    // Global buttons.
    connect(Command2, &QPushButton::clicked, this, &Form1::onTransfer);
    connect(Command7, &QPushButton::clicked, this, &Form1::onReset);
    connect(Command5, &QPushButton::clicked, this, &Form1::onInitialData);
    connect(Command3, &QPushButton::clicked, this, &Form1::onExit);
    // Command cycle and the line.
    connect(&Timer1, &QTimer::timeout, this, &Form1::onTick);
    connect(&MSComm1, &MSComm1::comm, this, &Form1::onComm);
    connect(&MSComm1, &MSComm1::lineLost, this, &Form1::onLineLost);
    connect(&m_reopen, &QTimer::timeout, this, &Form1::onReopen);
    // The traffic monitor, beside the operator's layout.
    auto *f2 = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(f2, &QShortcut::activated, this, &Form1::showMonitor);
}

bool Form1::load(QString *error)
{
    QString reason;
    if (!MSComm1.open(&reason)) {
        if (error != nullptr)
            *error = reason;
        return false;
    }
    for (auto *s : Slider1)
        s->setValue(kSliderMaximum);
    for (int t = 0; t < kTrainCount; ++t) {
        Label2[t]->setText(QString());
        Shape1[t]->setHeightTwips(0);
        Shape1[t]->setTopTwips(Shape2[t]->topTwips() + Shape2[t]->heightTwips() -
                               Shape1[t]->heightTwips());
    }
    setStartColours(m_module);
    Form3 &map = form3();
    // The map opens beside the main window, so both can be watched at once.
    map.move(x() + frameGeometry().width() + kWindowGap, y());
    map.show();
    map.activate();
    return true;
}

Form3 &Form1::form3()
{
    if (!m_form3)
        m_form3 = std::make_unique<Form3>(m_module);
    return *m_form3;
}

MonitorWindow &Form1::monitor()
{
    if (!m_monitor)
        m_monitor = std::make_unique<MonitorWindow>();
    return *m_monitor;
}

void Form1::showMonitor()
{
    const bool first = !m_monitor;
    MonitorWindow &w = monitor();
    if (first) // below the main window, out of the way of both operator windows
        w.move(x(), y() + frameGeometry().height() + kWindowGap);
    w.show();
    w.raise();
    w.activateWindow();
}

bool Form1::setTrafficLog(const QString &path, QString *error)
{
    auto log = std::make_unique<TrafficLogWriter>(std::filesystem::path(path.toStdString()));
    if (!log->isOpen()) {
        *error = QStringLiteral("%1 を開けません").arg(path);
        return false;
    }
    m_log = std::move(log);
    return true;
}

void Form1::send(std::span<const std::uint8_t> bytes)
{
    MSComm1.write(bytes);
    record(Direction::ToController, bytes);
}

void Form1::record(Direction direction, std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return;
    const std::int64_t ms = m_clock.elapsed();
    if (m_log && !m_log->append(ms, direction, bytes) && !m_logFailed) {
        m_logFailed = true;
        std::fprintf(stderr, "relm: the traffic log could not be written; frames are missing\n");
    }
    if (m_monitor)
        m_monitor->addFrame(ms, direction, bytes);
}

void Form1::setButtonColour(QPushButton *button, std::uint32_t colour)
{
    QPalette pal = button->palette();
    pal.setColor(QPalette::Button, toQColor(colour));
    button->setPalette(pal);
}

void Form1::onSlider(int t, int value)
{
    sliderMoved(m_module, t, Slider1[t]->maximum(), value);
}

void Form1::onStop(int t)
{
    stopPressed(m_module, t);
    Slider1[t]->setValue(Slider1[t]->maximum());
}

void Form1::onPoint(int t)
{
    if (const auto colour = pointPressed(m_module, t))
        setButtonColour(Command4[t], *colour);
}

void Form1::onReverse(int t)
{
    if (const auto colour = reversePressed(m_module, t))
        setButtonColour(Command6[t], *colour);
}

void Form1::onReset()
{
    resetPressed(m_module);
    Command2->setEnabled(true);
    Command7->setEnabled(false);
}

void Form1::onExit()
{
    if (exitPressed(m_module, Timer1.isActive(), ExitPending) == ExitAction::EndNow)
        endProgram(0);
}

void Form1::onInitialData()
{
    Form2::openModal(nullptr);
}

void Form1::onTick()
{
    const TickResult r = commandTick(m_module, ExitPending);
    send(r.bytes);
    // Setting the interval restarts the timer, so only a change of interval touches it.
    if (r.intervalMs && Timer1.interval() != *r.intervalMs)
        Timer1.setInterval(*r.intervalMs);
    if (!r.timerEnabled)
        Timer1.stop();
    if (r.endProgram)
        endProgram(0);
}

void Form1::onComm()
{
    const QByteArray block = MSComm1.readAll();
    const auto *received = reinterpret_cast<const std::uint8_t *>(block.constData());
    const std::span<const std::uint8_t> bytes{received, static_cast<std::size_t>(block.size())};
    record(Direction::FromController, bytes);
    const StatusView view = statusEvent(m_module, bytes,
                                        BarFrame{Shape2[0]->heightTwips(), Shape2[0]->topTwips()});
    Label1->setText(QString::fromStdString(view.label1Text));
    for (int t = 0; t < kTrainCount; ++t) {
        const TrainView &v = view.trains[t];
        if (v.caption)
            Label2[t]->setText(QString::fromStdString(*v.caption));
        // Most frames repeat the colour; setting it again would repaint the label for nothing.
        if (v.colour && Label2[t]->palette().color(QPalette::Window) != toQColor(*v.colour)) {
            QPalette pal = Label2[t]->palette();
            pal.setColor(QPalette::Window, toQColor(*v.colour));
            Label2[t]->setPalette(pal);
        }
        if (v.barHeight)
            Shape1[t]->setHeightTwips(*v.barHeight);
        if (v.barTop)
            Shape1[t]->setTopTwips(*v.barTop);
        if (v.resetPointButton)
            setButtonColour(Command4[t], kButtonFaceColour);
        if (v.resetReverseButton)
            setButtonColour(Command6[t], kButtonFaceColour);
    }
    if (view.mapRedraws > 0) {
        Form3 &map = form3();
        for (int i = 0; i < view.mapRedraws; ++i)
            map.KDisp();
    }
}

void Form1::onTransfer()
{
    // Exit waits for the stopping frame; a download now would leave it waiting for ever.
    if (m_downloading || ExitPending)
        return;
    if (!MSComm1.isOpen()) {
        QString reason;
        if (!MSComm1.open(&reason)) {
            report(QStringLiteral("シリアルポート %1 を開けません: %2")
                       .arg(MSComm1.portName(), reason));
            return;
        }
    }
    QFile file(QString::fromLatin1(kImageFile));
    if (!file.open(QIODevice::ReadOnly)) {
        QApplication::beep();
        report(QStringLiteral("テキスト送信 - 指定ファイルが見つかりません。"));
        return;
    }
    // An image too large to send is refused before it is read.
    const std::string tooLarge = imageRefusal(static_cast<std::size_t>(std::max<qint64>(file.size(), 0)));
    const QByteArray image = tooLarge.empty() ? file.readAll() : QByteArray();
    const DownloadBuild build = tooLarge.empty()
                                    ? buildDownloadFrame({reinterpret_cast<const std::uint8_t *>(
                                                              image.constData()),
                                                          static_cast<std::size_t>(image.size())})
                                    : DownloadBuild{false, {}, tooLarge};
    if (!build.accepted) {
        QApplication::beep();
        report(QString::fromStdString(build.refusal));
        return;
    }

    Label1->setText(QStringLiteral("送信中..."));
    // A second press must not start a download nested in this one, and a tick still due after
    // Reset must not queue its stop command behind the download: the controller would run the
    // new program only to be halted by it.
    m_downloading = true;
    Command2->setEnabled(false);
    Timer1.stop();
    send(build.frame);
    const bool drained = waitForDownloadToDrain();
    m_downloading = false;
    file.close();
    if (!drained)
        return; // the program is ending

    Label1->setText(QStringLiteral("データ送り終了"));
    const IniLoadResult loaded = LoadIni(m_module);
    if (!loaded.ok()) {
        // The cycle starts all the same, with the positions the registers hold.
        std::fprintf(stderr, "relm: %s\n", loaded.message.c_str());
    }
    restartCycle(m_module);
    for (int t = 0; t < kTrainCount; ++t) {
        setButtonColour(Command4[t], kButtonFaceColour);
        setButtonColour(Command6[t], kButtonFaceColour);
    }
    Timer1.setInterval(kDownloadStartMs);
    Timer1.start();
    Form3 &map = form3();
    map.show();
    map.raise();
    map.activate();
    Command2->setEnabled(false);
    Command7->setEnabled(true);
}

void Form1::onLineLost()
{
    // The cycle keeps its rhythm; frames written while the line is down are lost, and the next
    // tick after the device returns carries the current state.
    setWindowTitle(QStringLiteral("RELM - 通信断"));
    std::fprintf(stderr, "relm: serial line %s lost; trying to reopen every second\n",
                 MSComm1.portName().toLocal8Bit().constData());
    m_reopen.start();
}

void Form1::onReopen()
{
    QString reason;
    if (!MSComm1.open(&reason))
        return;
    m_reopen.stop();
    setWindowTitle(QStringLiteral("RELM"));
    std::fprintf(stderr, "relm: serial line %s back\n", MSComm1.portName().toLocal8Bit().constData());
}

bool Form1::waitForDownloadToDrain()
{
    // Yield to the event loop until the frame has left: status frames, ticks and clicks go on.
    do {
        QEventLoop loop;
        QTimer::singleShot(kDrainPollMs, &loop, &QEventLoop::quit);
        loop.exec();
        if (m_ending)
            return false;
    } while (MSComm1.bytesToWrite() > 0);
    return true;
}

void Form1::endProgram(int status)
{
    if (m_ending)
        return;
    m_ending = true;
    Timer1.stop();
    if (m_end)
        m_end(status);
}

void Form1::report(const QString &text)
{
    if (m_report)
        m_report(QCoreApplication::applicationName(), text);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing the window is leaving operation: while the cycle runs the trains are stopped
    // first, exactly as Exit does, and the window closes with the program.
    event->ignore();
    onExit();
}

} // namespace relm

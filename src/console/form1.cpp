#include "console/form1.h"

#include "console/console.h"
#include "console/monitor_window.h"
#include "initdata/form2.h"
#include "map/form3.h"
#include "widgets/rect_shape.h"
#include "widgets/ui_units.h"
#include "widgets/wrap_button.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMessageBox>
#include <QShortcut>
#include <QSlider>

#include <vector>

namespace relm {

namespace {

constexpr int kColumnStep = 1800; // twips between the columns of trains X, Y and Z
constexpr int kClientWidth = 7215;
constexpr int kClientHeight = 5370;
constexpr int kWindowGap = 16; // pixels between the main window and the map window

WrapButton *makeButton(QWidget *parent, const QString &caption, QRect geometry)
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

Form1::Form1(Console &console, QWidget *parent)
    : QWidget(parent)
    , m_console(console)
{
    setWindowTitle(QStringLiteral("RELM"));
    setFixedSize(twipsToPixels(kClientWidth), twipsToPixels(kClientHeight));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, toQColor(kActiveBorderColour));
    setPalette(pal);
    setAutoFillBackground(true);

    createControls();
    m_console.setBarFrame(BarFrame{Shape2[0]->heightTwips(), Shape2[0]->topTwips()});

    m_report = [this](const QString &title, const QString &text) {
        QMessageBox::warning(this, title, text);
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
        Command6[t] = makeButton(this, tr("逆転"), twipsRect(480 + dx, 1080, 495, 495));
        Command4[t] = makeButton(this, tr("ポイント"), twipsRect(1200 + dx, 1080, 495, 495));
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
        Command1[t] = makeButton(this, tr("停止"), twipsRect(600 + dx, 3840, 975, 495));
    }
    // Shapes lie beneath every control, whatever their order among themselves: a speed bar taller
    // than its frame never covers the Reverse and Point buttons or the status label. Lowered
    // frontmost first, so the bar's frame stays behind its fill and the outline in front of it.
    for (int t = 0; t < kTrainCount; ++t) {
        for (RectShape *shape : {Shape4[t], Shape1[t], Shape2[t], Shape3[t]})
            shape->lower();
    }
    Label3 = makeLabel(this, QStringLiteral("Label3"), twipsRect(6000, 240, 855, 375));
    Label3->hide();
    Command2 = makeButton(this, tr("転送"), twipsRect(6000, 960, 855, 495));
    Command7 = makeButton(this, tr("リセット"), twipsRect(6000, 1680, 855, 495));
    Command7->setEnabled(false);
    Command5 = makeButton(this, tr("初期データ設定"), twipsRect(6000, 2400, 855, 495));
    Command3 = makeButton(this, tr("終了"), twipsRect(6000, 4080, 855, 495));
    Label1 = makeLabel(this, QStringLiteral("Label1"), twipsRect(120, 4800, 6975, 375));
    Label1->hide();

    // Keyboard order: Transfer, Exit, the sliders, Reverse, Stop, Point, then the rest.
    std::vector<QWidget *> order{Command2, Command3};
    for (auto *w : Slider1)
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
    Console *c = &m_console;
    // Per-train controls.
    for (int t = 0; t < kTrainCount; ++t) {
        connect(Slider1[t], &QSlider::valueChanged, c, [c, t](int v) { c->moveSlider(t, v); });
        connect(Command1[t], &QPushButton::clicked, c, [c, t] { c->stop(t); });
        connect(Command4[t], &QPushButton::clicked, c, [c, t] { c->point(t); });
        connect(Command6[t], &QPushButton::clicked, c, [c, t] { c->reverse(t); });
    }
    // Global buttons.
    connect(Command2, &QPushButton::clicked, c, &Console::transfer);
    connect(Command7, &QPushButton::clicked, c, &Console::reset);
    connect(Command5, &QPushButton::clicked, this, &Form1::onInitialData);
    connect(Command3, &QPushButton::clicked, c, [c] { c->exit(0); });
    // What the console reports.
    connect(c, &Console::trainChanged, this, &Form1::applyTrain);
    connect(c, &Console::displayChanged, this, &Form1::applyDisplay);
    connect(c, &Console::notice, this, &Form1::onNotice);
    connect(c, &Console::mapRedraw, this, &Form1::onMapRedraw);
    connect(c, &Console::mapWindowWanted, this, &Form1::showMap);
    connect(c, &Console::frameTransferred, this,
            [this](qint64 ms, Direction direction, const QByteArray &bytes) {
                if (m_monitor) {
                    m_monitor->addFrame(ms, direction,
                                        {reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                                         static_cast<std::size_t>(bytes.size())});
                }
            });
    connect(c, &Console::noteRecorded, this, [this](qint64 ms, const QString &text) {
        if (m_monitor)
            m_monitor->addNote(ms, text.toStdString());
    });
    // Keys: F2 the traffic monitor, F3 the map window, at any time.
    auto *f2 = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(f2, &QShortcut::activated, this, &Form1::showMonitor);
    auto *f3 = new QShortcut(QKeySequence(Qt::Key_F3), this);
    connect(f3, &QShortcut::activated, this, &Form1::showMap);
}

bool Form1::load(QString *error)
{
    if (!m_console.start(error))
        return false;
    for (int t = 0; t < kTrainCount; ++t)
        applyTrain(t);
    applyDisplay();
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
        m_form3 = std::make_unique<Form3>(m_console.module());
    return *m_form3;
}

void Form1::showMap()
{
    Form3 &map = form3();
    map.show();
    map.raise();
    map.activateWindow();
    map.activate();
}

MonitorWindow &Form1::monitor()
{
    if (!m_monitor) {
        m_monitor = std::make_unique<MonitorWindow>();
        m_monitor->setPanelUrl(m_panelUrl);
    }
    return *m_monitor;
}

void Form1::setRemotePanelUrl(const QString &url)
{
    m_panelUrl = url;
    if (m_monitor)
        m_monitor->setPanelUrl(url);
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

void Form1::applyTrain(int t)
{
    const TrainDisplay &d = m_console.train(t);
    if (Label2[t]->text() != d.caption)
        Label2[t]->setText(d.caption);
    // Most frames repeat the colour; setting it again would repaint the label for nothing.
    if (d.statusColour &&
        Label2[t]->palette().color(QPalette::Window) != toQColor(*d.statusColour)) {
        QPalette pal = Label2[t]->palette();
        pal.setColor(QPalette::Window, toQColor(*d.statusColour));
        Label2[t]->setPalette(pal);
    }
    Shape1[t]->setHeightTwips(d.barHeight);
    Shape1[t]->setTopTwips(d.barTop);
    Command4[t]->setBackColour(d.pointColour);
    Command6[t]->setBackColour(d.reverseColour);
    // A slider set to where it already is reports nothing; one the console moved reports its
    // new position back, which the console takes as the same request.
    Slider1[t]->setValue(d.sliderPosition);
}

void Form1::applyDisplay()
{
    const ConsoleDisplay &d = m_console.display();
    if (windowTitle() != d.caption)
        setWindowTitle(d.caption);
    if (Label1->text() != d.label1)
        Label1->setText(d.label1);
    Command2->setEnabled(d.transferEnabled);
    Command7->setEnabled(d.resetEnabled);
}

void Form1::onNotice(const QString &text, bool beep)
{
    if (beep)
        QApplication::beep();
    if (m_report)
        m_report(QCoreApplication::applicationName(), text);
}

void Form1::onMapRedraw(int times)
{
    Form3 &map = form3();
    for (int i = 0; i < times; ++i)
        map.KDisp();
}

void Form1::onInitialData()
{
    Form2::openModal(nullptr);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing the window is leaving operation: while the cycle runs the trains are stopped
    // first, exactly as Exit does, and the window closes with the program.
    event->ignore();
    m_console.exit(0);
}

} // namespace relm

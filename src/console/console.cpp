#include "console/console.h"

#include "console/operator_commands.h"
#include "link/command_tick.h"
#include "link/download_frame.h"
#include "traffic/traffic_log.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QMetaMethod>

#include <algorithm>
#include <cstdio>

namespace relm {

namespace {

constexpr int kStartIntervalMs = 200;
constexpr int kDownloadStartMs = 1000;
constexpr int kDrainPollMs = 10;
constexpr int kExitFlushMs = 2000;
constexpr int kReopenMs = 1000;

const char *const kImageFile = "atctest.bin";

std::span<const std::uint8_t> bytesOf(const QByteArray &b)
{
    return {reinterpret_cast<const std::uint8_t *>(b.constData()),
            static_cast<std::size_t>(b.size())};
}

// Before the first decoded status frame after a download no train is known to stand.
FrameReading nothingReported()
{
    FrameReading reading;
    reading.unreported.fill(true);
    return reading;
}

} // namespace

Console::Console(Module1 &module, const QString &portName, QObject *parent)
    : QObject(parent)
    , m_module(module)
{
    m_clock.start();
    MSComm1.setPortName(portName);
    Timer1.setTimerType(Qt::PreciseTimer);
    Timer1.setInterval(kStartIntervalMs);
    m_reopen.setInterval(kReopenMs);
    m_drainPoll.setInterval(kDrainPollMs);
    for (TrainDisplay &d : m_trains)
        d.barTop = m_barFrame.top + m_barFrame.height;
    m_lastReading = nothingReported();

    m_end = [this](int status) {
        MSComm1.flush(kExitFlushMs);
        QCoreApplication::exit(status);
    };

    // The command cycle and the line.
    connect(&Timer1, &QTimer::timeout, this, &Console::onTick);
    connect(&MSComm1, &MSComm1::comm, this, &Console::onComm);
    connect(&MSComm1, &MSComm1::lineLost, this, &Console::onLineLost);
    connect(&m_reopen, &QTimer::timeout, this, &Console::onReopen);
    connect(&m_drainPoll, &QTimer::timeout, this, &Console::onDrainPoll);
}

Console::~Console() = default;

bool Console::start(QString *error)
{
    QString reason;
    if (!MSComm1.open(&reason)) {
        if (error != nullptr)
            *error = reason;
        return false;
    }
    for (int t = 0; t < kTrainCount; ++t)
        moveSlider(t, kSliderMaximum);
    for (int t = 0; t < kTrainCount; ++t) {
        TrainDisplay d = m_trains[t];
        d.caption.clear();
        d.barHeight = 0;
        d.barTop = m_barFrame.top + m_barFrame.height - d.barHeight;
        setTrain(t, d);
    }
    setStartColours(m_module);
    return true;
}

bool Console::setTrafficLog(const QString &path, QString *error)
{
    auto log = std::make_unique<TrafficLogWriter>(std::filesystem::path(path.toStdString()));
    if (!log->isOpen()) {
        *error = tr("%1 を開けません").arg(path);
        return false;
    }
    m_log = std::move(log);
    return true;
}

void Console::send(std::span<const std::uint8_t> bytes)
{
    MSComm1.write(bytes);
    record(Direction::ToController, bytes);
}

void Console::record(Direction direction, std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return;
    const qint64 ms = m_clock.elapsed();
    if (m_log && !m_log->append(ms, direction, bytes) && !m_logFailed) {
        m_logFailed = true;
        std::fprintf(stderr, "relm: the traffic log could not be written; frames are missing\n");
    }
    // Copied only for someone who listens (an open traffic monitor).
    static const QMetaMethod frameSignal = QMetaMethod::fromSignal(&Console::frameTransferred);
    if (isSignalConnected(frameSignal)) {
        emit frameTransferred(ms, direction,
                              QByteArray(reinterpret_cast<const char *>(bytes.data()),
                                         static_cast<qsizetype>(bytes.size())));
    }
}

void Console::note(const QString &text)
{
    const qint64 ms = m_clock.elapsed();
    const QByteArray utf8 = text.toUtf8();
    std::fprintf(stderr, "relm: %s\n", utf8.constData());
    if (m_log && !m_log->appendNote(ms, utf8.toStdString()) && !m_logFailed) {
        m_logFailed = true;
        std::fprintf(stderr, "relm: the traffic log could not be written; lines are missing\n");
    }
    emit noteRecorded(ms, text);
}

void Console::setTrain(int t, const TrainDisplay &d)
{
    TrainDisplay &current = m_trains[static_cast<std::size_t>(t)];
    if (current == d)
        return;
    // Whoever moved the slider last drives the train now.
    if (d.sliderPosition != current.sliderPosition)
        m_movers[static_cast<std::size_t>(t)].reset();
    current = d;
    emit trainChanged(t);
}

void Console::setDisplay(const ConsoleDisplay &d)
{
    ConsoleDisplay next = d;
    next.running = Timer1.isActive();
    next.lineLost = m_reopen.isActive();
    refreshCaption(next);
    if (next == m_display)
        return;
    m_display = next;
    emit displayChanged();
}

void Console::refreshCaption(ConsoleDisplay &d) const
{
    if (d.lineLost) {
        d.caption = tr("RELM - 通信断");
    } else if (!m_watchCaption.isEmpty() && !d.downloading) {
        d.caption = m_watchCaption; // a train held, no reports, or a train making no progress
    } else if (d.downloading && d.downloadTotal > 0) {
        const qint64 percent = d.downloadSent * 100 / d.downloadTotal;
        const QLocale c(QLocale::English, QLocale::UnitedStates); // 19,969 as elsewhere
        d.caption = tr("RELM - 送信中 %1% (%2 / %3 バイト)")
                        .arg(percent)
                        .arg(c.toString(d.downloadSent), c.toString(d.downloadTotal));
    } else {
        d.caption = QStringLiteral("RELM");
    }
}

void Console::moveSlider(int t, int position, OperatorId by)
{
    position = std::clamp(position, 0, kSliderMaximum);
    sliderMoved(m_module, t, kSliderMaximum, position);
    TrainDisplay d = train(t);
    d.sliderPosition = position;
    setTrain(t, d);
    // A remote operator that sets a train moving answers for it until someone else sets it;
    // one that stops it, or moves it to where it already was at 0, does not.
    if (by != kDesk)
        m_movers[static_cast<std::size_t>(t)] =
            position < kSliderMaximum ? std::optional<OperatorId>(by) : std::nullopt;
    emit operatorCommand();
}

void Console::requestSpeed(int t, int speed, OperatorId by)
{
    moveSlider(t, kSliderMaximum - std::clamp(speed, 0, kSliderMaximum), by);
}

std::vector<int> Console::remoteOperatorGone(OperatorId id)
{
    std::vector<int> stopped;
    for (int t = 0; t < kTrainCount; ++t) {
        if (id == kDesk || m_movers[static_cast<std::size_t>(t)] != id)
            continue;
        m_movers[static_cast<std::size_t>(t)].reset();
        stop(t);
        stopped.push_back(t);
    }
    return stopped;
}

bool Console::handBack(int t, OperatorId by)
{
    std::optional<OperatorId> &mover = m_movers[static_cast<std::size_t>(t)];
    if (by == kDesk || mover != by)
        return false;
    mover.reset();
    return true;
}

FrameReading Console::lastReading() const
{
    FrameReading reading = m_lastReading;
    for (int t = 0; t < kTrainCount; ++t)
        reading.doubted[t] = m_watch.held(t); // held since, or released since
    return reading;
}

bool Console::standsStill(int t) const
{
    return relm::standsStill(m_module, t, lastReading());
}

std::optional<ReversalRefusal> Console::reversalRefusal(int t) const
{
    return relm::reversalRefusal(m_module, t, lastReading());
}

void Console::stop(int t)
{
    stopPressed(m_module, t);
    showStopped(t);
}

void Console::emergencyStop(int t)
{
    emergencyStopPressed(m_module, t);
    showStopped(t);
}

void Console::showStopped(int t)
{
    m_movers[static_cast<std::size_t>(t)].reset();
    TrainDisplay d = train(t);
    d.sliderPosition = kSliderMaximum;
    setTrain(t, d);
    emit operatorCommand();
}

void Console::point(int t)
{
    if (const auto colour = pointPressed(m_module, t)) {
        TrainDisplay d = train(t);
        d.pointColour = *colour;
        setTrain(t, d);
    }
    emit operatorCommand();
}

void Console::reverse(int t)
{
    if (const auto colour = reversePressed(m_module, t)) {
        TrainDisplay d = train(t);
        d.reverseColour = *colour;
        setTrain(t, d);
    }
    emit operatorCommand();
}

void Console::reset()
{
    if (!m_display.resetEnabled)
        return;
    resetPressed(m_module);
    ConsoleDisplay d = m_display;
    d.transferEnabled = true;
    d.resetEnabled = false;
    setDisplay(d);
    emit operatorCommand();
}

void Console::exit(int status)
{
    m_exitStatus = status;
    if (exitPressed(m_module, Timer1.isActive(), ExitPending) == ExitAction::EndNow)
        endProgram(status);
    emit operatorCommand();
}

void Console::transfer()
{
    // A second press must not start a download nested in this one, and Exit waits for the
    // stopping frame: a download now would leave it waiting for ever.
    if (m_display.downloading || !m_display.transferEnabled || ExitPending)
        return;

    // The start positions first: with a bad atc.ini nothing at all goes out, and the operator
    // can mend the file and press Transfer again.
    const StartPositionsCheck ini = readStartPositions(kIniFileName);
    if (!ini.result.ok()) {
        emit notice(QString::fromStdString(ini.result.reason) +
                        tr("\n\n転送を中止しました。何も送信していません。"
                           "初期データ設定で直してから、もう一度 転送 を押してください。"),
                    true);
        return;
    }
    if (!MSComm1.isOpen()) {
        QString reason;
        if (!MSComm1.open(&reason)) {
            emit notice(tr("シリアルポート %1 を開けません: %2").arg(MSComm1.portName(), reason),
                        false);
            return;
        }
    }
    QFile file(QString::fromLatin1(kImageFile));
    if (!file.open(QIODevice::ReadOnly)) {
        emit notice(tr("テキスト送信 - 指定ファイルが見つかりません。"), true);
        return;
    }
    // An image too large to send is refused before it is read.
    const std::string tooLarge =
        imageRefusal(static_cast<std::size_t>(std::max<qint64>(file.size(), 0)));
    if (!tooLarge.empty()) {
        emit notice(QString::fromStdString(tooLarge), true);
        return;
    }
    const QByteArray image = file.readAll();
    file.close();
    DownloadBuild build = buildDownloadFrame(bytesOf(image));
    if (!build.accepted) {
        emit notice(QString::fromStdString(build.refusal), true);
        return;
    }

    // A stop still waiting from Reset goes out first, so the old cycle ends with it; and no tick
    // of the old cycle may follow the download: it would halt the controller's new program.
    Timer1.stop();
    const std::vector<std::uint8_t> stop = takePendingStop(m_module);
    send(stop);
    m_startPositions = ini.positions;
    m_lostDuringDownload = false;
    send(build.frame);

    ConsoleDisplay d = m_display;
    d.label1 = tr("送信中...");
    d.transferEnabled = false;
    d.downloading = true;
    d.downloadTotal = static_cast<qint64>(build.frame.size());
    d.downloadSent = 0;
    setDisplay(d);
    m_drainPoll.start();
    emit operatorCommand();
}

void Console::onDrainPoll()
{
    if (!m_display.downloading) {
        m_drainPoll.stop();
        return;
    }
    // A port that closed or failed while the frame drained reports nothing left to send, but
    // the controller did not receive the program.
    if (m_lostDuringDownload || !MSComm1.isOpen()) {
        failDownload(tr("通信断"));
        return;
    }
    const qint64 waiting = MSComm1.bytesToWrite();
    if (waiting > 0) {
        ConsoleDisplay d = m_display;
        const qint64 sent = d.downloadTotal - std::min(waiting, d.downloadTotal);
        // The caption changes with each whole percent, not with every byte.
        if (sent * 100 / d.downloadTotal != d.downloadSent * 100 / d.downloadTotal) {
            d.downloadSent = sent;
            setDisplay(d);
        }
        return;
    }
    finishDownload();
}

void Console::finishDownload()
{
    m_drainPoll.stop();
    startCycle(m_module, m_startPositions);
    m_lastReading = nothingReported();
    for (int t = 0; t < kTrainCount; ++t) {
        TrainDisplay d = train(t);
        d.pointColour = kButtonFaceColour;
        d.reverseColour = kButtonFaceColour;
        setTrain(t, d);
    }
    Timer1.setInterval(kDownloadStartMs);
    Timer1.start();
    ConsoleDisplay d = m_display;
    d.label1 = tr("データ送り終了");
    d.downloading = false;
    d.downloadSent = d.downloadTotal;
    d.transferEnabled = false;
    d.resetEnabled = true;
    setDisplay(d);
    emit mapWindowWanted();
}

void Console::failDownload(const QString &reason)
{
    m_drainPoll.stop();
    ConsoleDisplay d = m_display;
    d.label1 = tr("データ送り中断");
    d.downloading = false;
    d.transferEnabled = true;
    setDisplay(d);
    note(QStringLiteral("the program download did not complete (%1)").arg(reason));
    emit notice(tr("プログラムの転送が完了しませんでした（%1）。制御装置は新しいプログラムを"
                   "受け取っていません。運転は始めていません。\n"
                   "回線を確かめてから、もう一度 転送 を押してください。")
                    .arg(reason),
                false);
}

void Console::onTick()
{
    const TickResult r = commandTick(m_module, ExitPending);
    send(r.bytes);
    // The watch learns what the controller was told, and notices when its reports have stopped.
    const WatchTickView watched = m_watch.afterTick(m_module, r.bytes, watchNow());
    for (int t = 0; t < kTrainCount; ++t)
        applyTrainView(t, watched.trains[t]);
    applyWatch(watched.windowCaption, watched.notices);
    // Setting the interval restarts the timer, so only a change of interval touches it.
    if (r.intervalMs && Timer1.interval() != *r.intervalMs)
        Timer1.setInterval(*r.intervalMs);
    if (!r.timerEnabled)
        Timer1.stop();
    setDisplay(m_display);
    if (r.endProgram)
        endProgram(m_exitStatus);
}

void Console::onComm()
{
    const QByteArray block = MSComm1.readAll();
    const std::span<const std::uint8_t> bytes = bytesOf(block);
    record(Direction::FromController, bytes);
    const StatusView view = statusEvent(m_module, m_watch, bytes, m_barFrame, watchNow());
    if (view.decoded)
        m_lastReading = view.reading;
    for (int t = 0; t < kTrainCount; ++t)
        applyTrainView(t, view.trains[t]);
    applyWatch(view.windowCaption, view.notices);
    ConsoleDisplay d = m_display;
    d.label1 = QString::fromStdString(view.label1Text);
    setDisplay(d);
    if (view.mapRedraws > 0)
        emit mapRedraw(view.mapRedraws);
    if (view.decoded)
        emit statusDecoded();
}

void Console::applyTrainView(int t, const TrainView &v)
{
    TrainDisplay d = train(t);
    if (v.caption)
        d.caption = QString::fromStdString(*v.caption);
    if (v.colour)
        d.statusColour = *v.colour;
    if (v.barHeight)
        d.barHeight = *v.barHeight;
    if (v.barTop)
        d.barTop = *v.barTop;
    if (v.resetPointButton)
        d.pointColour = kButtonFaceColour;
    if (v.resetReverseButton)
        d.reverseColour = kButtonFaceColour;
    setTrain(t, d);
}

void Console::applyWatch(const std::optional<std::string> &caption,
                         const std::vector<std::string> &notices)
{
    for (const std::string &line : notices)
        note(QString::fromStdString(line));
    if (!caption)
        return;
    const QString text = QString::fromStdString(*caption);
    m_watchCaption = text == QLatin1String(kCaptionNormal) ? QString() : text;
    setDisplay(m_display);
}

void Console::onLineLost()
{
    // The cycle keeps its rhythm; frames written while the line is down are lost, and the next
    // tick after the device returns carries the current state. A download under way has failed.
    if (m_display.downloading)
        m_lostDuringDownload = true;
    note(QStringLiteral("serial line %1 lost; trying to reopen every second")
             .arg(MSComm1.portName()));
    m_reopen.start();
    setDisplay(m_display);
}

void Console::onReopen()
{
    QString reason;
    if (!MSComm1.open(&reason))
        return;
    m_reopen.stop();
    setDisplay(m_display);
    note(QStringLiteral("serial line %1 back").arg(MSComm1.portName()));
}

void Console::endProgram(int status)
{
    if (m_ending)
        return;
    m_ending = true;
    Timer1.stop();
    m_drainPoll.stop();
    if (m_end)
        m_end(status);
}

} // namespace relm

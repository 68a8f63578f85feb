#include "link/mscomm1.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <algorithm>

#ifndef _WIN32
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace relm {

bool deviceAccessDenied(const QString &device)
{
#ifndef _WIN32
    return ::access(QFile::encodeName(device).constData(), R_OK | W_OK) != 0 &&
           QFileInfo::exists(device);
#else
    Q_UNUSED(device);
    return false;
#endif
}

MSComm1::MSComm1(QObject *parent)
    : QObject(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setTimerType(Qt::PreciseTimer);
    connect(&m_port, &QSerialPort::readyRead, this, &MSComm1::onReadyRead);
    connect(&m_port, &QSerialPort::errorOccurred, this, &MSComm1::onError);
    connect(&m_quiet, &QTimer::timeout, this, &MSComm1::onQuiet);
}

MSComm1::~MSComm1() = default;

void MSComm1::setPortName(const QString &name)
{
    m_name = name;
    m_port.setPortName(name);
}

QString MSComm1::portName() const
{
    return m_name;
}

bool MSComm1::open(QString *error)
{
    if (m_port.isOpen())
        return true;
    m_port.setReadBufferSize(kReceiveBufferBytes);
    if (!m_port.open(QIODevice::ReadWrite)) {
        if (error != nullptr)
            *error = openFailure();
        return false;
    }
    const bool settled = m_port.setBaudRate(kBaudRate) && m_port.setDataBits(QSerialPort::Data8) &&
                         m_port.setParity(QSerialPort::NoParity) &&
                         m_port.setStopBits(QSerialPort::OneStop) &&
                         m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!settled) {
        if (error != nullptr)
            *error = m_port.errorString();
        m_port.close();
        return false;
    }
    return true;
}

bool MSComm1::isOpen() const
{
    return m_port.isOpen();
}

void MSComm1::close()
{
    m_quiet.stop();
    m_port.close();
}

void MSComm1::write(std::span<const std::uint8_t> bytes)
{
    if (bytes.empty() || !m_port.isOpen())
        return;
    m_port.write(reinterpret_cast<const char *>(bytes.data()), static_cast<qint64>(bytes.size()));
}

void MSComm1::write(const QByteArray &bytes)
{
    if (bytes.isEmpty() || !m_port.isOpen())
        return;
    m_port.write(bytes);
}

qint64 MSComm1::bytesToWrite() const
{
    if (!m_port.isOpen())
        return 0;
    qint64 waiting = m_port.bytesToWrite();
#ifndef _WIN32
    // Bytes Qt has handed to the driver may still sit in the driver's output queue.
    int queued = 0;
    if (::ioctl(m_port.handle(), TIOCOUTQ, &queued) == 0 && queued > 0)
        waiting += queued;
#endif
    return waiting;
}

QByteArray MSComm1::readAll()
{
    if (!m_port.isOpen())
        return {};
    return m_port.readAll();
}

bool MSComm1::flush(int timeoutMs)
{
    if (!m_port.isOpen())
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    while (m_port.bytesToWrite() > 0 && !deadline.hasExpired()) {
        if (!m_port.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            break;
    }
    // Then let the driver's own queue drain onto the line.
    while (bytesToWrite() > 0 && !deadline.hasExpired())
        QThread::msleep(5);
    return bytesToWrite() == 0;
}

QString MSComm1::openFailure() const
{
    const QString &name = m_name;
    switch (m_port.error()) {
    case QSerialPort::PermissionError:
        // The serial library says "permission" both for a device locked or held exclusively by
        // another program and for one we may not use; only the second lacks access rights.
        if (deviceAccessDenied(name)) {
            return tr("%1 を使う権限がありません（%2）。"
                      "dialout グループに入っているか確かめてください。")
                .arg(name, m_port.errorString());
        }
        return tr("%1 は他のプログラムが使用中です。"
                  "そのプログラムを終了してから、もう一度試してください。")
            .arg(name);
    case QSerialPort::DeviceNotFoundError:
        return tr("%1 が見つかりません（%2）。").arg(name, m_port.errorString());
    default:
        return m_port.errorString();
    }
}

QString MSComm1::lastError() const
{
    return m_port.errorString();
}

void MSComm1::onReadyRead()
{
    const auto waiting = static_cast<std::size_t>(std::max<qint64>(m_port.bytesAvailable(), 0));
    switch (receiveWait(waiting)) {
    case ReceiveWait::Now:
        // A line that never falls quiet still gets read once two frames are waiting.
        m_quiet.stop();
        emit comm();
        return;
    case ReceiveWait::WholeFrame:
        m_quiet.start(kWholeFrameQuietMs);
        return;
    case ReceiveWait::Frame:
        m_quiet.start(kFrameQuietMs);
        return;
    case ReceiveWait::Fragment:
        m_quiet.start(kFragmentQuietMs);
        return;
    }
}

void MSComm1::onQuiet()
{
    if (m_port.isOpen() && m_port.bytesAvailable() > 0)
        emit comm();
}

void MSComm1::onError(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::TimeoutError:
        return;
    case QSerialPort::ResourceError:
    case QSerialPort::ReadError:
    case QSerialPort::WriteError:
        // The device went away (an unplugged adapter, a pty whose other side closed): reads fail
        // at once and forever. Closing stops the notifier from firing on a dead descriptor.
        m_quiet.stop();
        m_port.close();
        emit lineLost();
        return;
    default:
        emit comm();
        return;
    }
}

} // namespace relm

#pragma once

#include "link/receive_timing.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <span>

namespace relm {

// The device exists but this user may not read and write it (on Unix, not in its group).
bool deviceAccessDenied(const QString &device);

// The serial line to the track controller: 9600 baud 8N1, raw bytes, writes queued in order.
// comm() is raised once a whole status frame (23 bytes) waits, and for any other port event.
//
// Status frames carry no start marker, so a read must begin where a frame begins. The 24th byte
// of a frame arrives a byte time after the 23rd, and a read at exactly 23 bytes would leave it
// to start the next block, shifting every later frame. So comm() waits until the line has been
// quiet: two byte times once whole 24-byte frames wait, a few byte times with a cut frame, and
// half a status period with a fragment, so it cannot prefix the next frame either
// (receive_timing.h).
class MSComm1 final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kBaudRate = 9600;
    static constexpr int kReceiveBufferBytes = 1024;
    static constexpr int kTransmitBufferBytes = 20000;

    explicit MSComm1(QObject *parent = nullptr);
    MSComm1(const MSComm1 &) = delete;
    MSComm1 &operator=(const MSComm1 &) = delete;
    ~MSComm1() override;

    void setPortName(const QString &name);
    QString portName() const; // as given, e.g. /dev/ttyUSB0

    // Opens the port with the line settings; on failure, error holds the reason.
    bool open(QString *error);
    bool isOpen() const;
    void close();

    // Queues the bytes behind everything written before; does not wait.
    void write(std::span<const std::uint8_t> bytes);
    void write(const QByteArray &bytes);

    // Bytes handed to write() that have not yet left for the line, including the driver's queue.
    qint64 bytesToWrite() const;

    // Every waiting byte; empties the receive buffer.
    QByteArray readAll();

    // Waits at most timeoutMs for everything queued to leave; true when it did.
    bool flush(int timeoutMs);

    QString lastError() const;

signals:
    void comm();      // OnComm: a status frame waits, or the port reported an event
    void lineLost();  // the device went away (unplugged adapter, closed pty)

private:
    void onReadyRead();
    void onQuiet();
    void onError(QSerialPort::SerialPortError error);
    // Why open() failed, in the operator's words: a device held by another program is named
    // as such, not as the serial library's permission error.
    QString openFailure() const;

    QString m_name; // the device as the operator named it
    QSerialPort m_port;
    QTimer m_quiet; // restarted by every arriving byte
};

} // namespace relm

#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <cstdint>
#include <span>

namespace relm {

// The serial line to the track controller: 9600 baud 8N1, raw bytes, writes queued in order.
// comm() is raised once a whole status frame (23 bytes) waits, and for any other port event.
class MSComm1 final : public QObject
{
    Q_OBJECT

public:
    static constexpr int kBaudRate = 9600;
    static constexpr int kReceiveBufferBytes = 1024;
    static constexpr int kTransmitBufferBytes = 20000;
    static constexpr int kReceiveThreshold = 23;

    explicit MSComm1(QObject *parent = nullptr);
    MSComm1(const MSComm1 &) = delete;
    MSComm1 &operator=(const MSComm1 &) = delete;
    ~MSComm1() override;

    void setPortName(const QString &name);
    QString portName() const;

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
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
};

} // namespace relm

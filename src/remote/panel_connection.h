#pragma once

#include "remote/websocket_frames.h"

#include <QHostAddress>
#include <QObject>

#include <functional>
#include <vector>

class QTcpSocket;

namespace relm {

// One page's WebSocket once the front door has shaken hands: reads the page's frames within
// its limits and sends it messages, holding a bounded number of bytes for it at all times,
// whatever the page sends or fails to read.
//
// - Every frame the page sends counts against its rate, pings and pongs too; frames over the
//   rate are skipped unread (a ping so skipped gets no pong), and the page hears of it once a
//   second at most.
// - Every byte counts against its byte budget; a page over it is closed at once.
// - What waits to be sent to the page is bounded; a page that lets more wait is closed at once.
class PanelConnection final : public QObject, private FrameReader::Sink
{
    Q_OBJECT

public:
    using Clock = std::function<qint64()>; // milliseconds, never going back

    static constexpr qint64 kReadChunkBytes = 16 * 1024;  // buffered from the page at most
    static constexpr qint64 kMaxQueuedBytes = 256 * 1024; // waiting to go to the page at most
    static constexpr int kFramesPerSecond = 40;
    static constexpr qint64 kBytesPerSecond = 16 * 1024;
    static constexpr qint64 kByteBurst = 64 * 1024; // at once, after a quiet while

    // Takes the socket; bytes already buffered in it are the page's first frames.
    PanelConnection(QTcpSocket *socket, Clock clock, QObject *parent = nullptr);
    PanelConnection(const PanelConnection &) = delete;
    PanelConnection &operator=(const PanelConnection &) = delete;
    ~PanelConnection() override;

    QHostAddress peer() const { return m_peer; }
    void sendText(const QByteArray &utf8);
    // Says goodbye with the code and lets the connection end; the object deletes itself once it
    // has (at most a second later).
    void close(quint16 code, const QString &reason);
    // Bytes queued to send to the page and buffered from it, now.
    qint64 heldBytes() const;

signals:
    void textReceived(const QByteArray &utf8);
    void binaryReceived();
    void messageTooLarge(quint64 bytes);
    void overRate();
    // The connection ended (emitted once, from the event loop, and not after close()).
    // overLimits: the page broke a limit or the protocol, and why says how.
    void gone(const QString &why, bool overLimits);

private:
    struct Event
    {
        enum Kind { Text, Binary, TooLarge, OverRate } kind;
        QByteArray text;
        quint64 bytes = 0;
    };

    void readAvailable();
    bool spend(qint64 bytes);
    bool fits(qsizetype bytes) const;
    void write(const QByteArray &frame);
    void goodbye(quint16 code, const QString &reason); // a close frame, if it fits
    void end(const QString &why, bool overLimits, bool dropQueued);

    bool frameBegins(const FrameHead &head) override;
    void text(const QByteArray &utf8) override;
    void binary() override;
    void tooLarge(quint64 bytes) override;
    void ping(const QByteArray &payload) override;
    void closed(quint16 code) override;
    void broken(const QString &why) override;

    QTcpSocket *m_socket; // a child
    QHostAddress m_peer;
    Clock m_clock;
    FrameReader m_reader;
    std::vector<Event> m_events; // found in the bytes just read, told once they are all read
    double m_frameAllowance = kFramesPerSecond;
    qint64 m_frameAllowanceAt = 0;
    qint64 m_lastComplaint = -1000000;
    double m_byteAllowance = kByteBurst;
    qint64 m_byteAllowanceAt = 0;
    bool m_ended = false;  // nothing more is read from the page
    bool m_closed = false; // the server has closed it: it hears nothing more of it
};

} // namespace relm

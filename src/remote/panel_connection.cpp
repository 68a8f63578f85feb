#include "remote/panel_connection.h"

#include "remote/panel_protocol.h"

#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace relm {

namespace {

constexpr int kGoodbyeMs = 1000; // for the page to take the close frame
constexpr qint64 kComplaintSpacingMs = 1000;

double refilled(double allowance, qint64 since, qint64 now, double perSecond, double most)
{
    return std::min(most, allowance + static_cast<double>(now - since) * perSecond / 1000.0);
}

} // namespace

PanelConnection::PanelConnection(QTcpSocket *socket, Clock clock, QObject *parent)
    : QObject(parent)
    , m_socket(socket)
    , m_peer(socket->peerAddress())
    , m_clock(std::move(clock))
    , m_reader(kMaxPanelMessageBytes)
{
    m_socket->setParent(this);
    m_socket->setReadBufferSize(kReadChunkBytes);
    m_frameAllowanceAt = m_byteAllowanceAt = m_clock();
    connect(m_socket, &QTcpSocket::readyRead, this, &PanelConnection::readAvailable);
    // A page closed in the browser and one whose network went away look alike here.
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        end(QStringLiteral("the page closed or its connection was lost"), false, false);
    });
    // Frames that came with the handshake are read once whoever listens has connected.
    QTimer::singleShot(0, this, &PanelConnection::readAvailable);
}

PanelConnection::~PanelConnection()
{
    m_socket->disconnect(this);
}

qint64 PanelConnection::heldBytes() const
{
    return m_socket->bytesToWrite() + m_socket->bytesAvailable() + m_reader.heldBytes();
}

bool PanelConnection::spend(qint64 bytes)
{
    const qint64 now = m_clock();
    m_byteAllowance =
        refilled(m_byteAllowance, m_byteAllowanceAt, now, kBytesPerSecond, kByteBurst);
    m_byteAllowanceAt = now;
    m_byteAllowance -= static_cast<double>(bytes);
    return m_byteAllowance >= 0;
}

void PanelConnection::readAvailable()
{
    const QPointer<PanelConnection> self(this);
    while (!m_ended && m_socket->bytesAvailable() > 0) {
        const QByteArray chunk = m_socket->read(kReadChunkBytes);
        if (!spend(chunk.size())) {
            end(QStringLiteral("it sent more than %1 KiB at once or %2 KiB a second")
                    .arg(kByteBurst / 1024)
                    .arg(kBytesPerSecond / 1024),
                true, true);
            return;
        }
        m_reader.read(chunk, *this);
        if (m_ended)
            return;
        // Told only now: whoever hears of a message may close this page, or run an event loop
        // in which it goes.
        for (Event &e : std::exchange(m_events, {})) {
            switch (e.kind) {
            case Event::Text:
                emit textReceived(e.text);
                break;
            case Event::Binary:
                emit binaryReceived();
                break;
            case Event::TooLarge:
                emit messageTooLarge(e.bytes);
                break;
            case Event::OverRate:
                emit overRate();
                break;
            }
            if (!self || m_ended)
                return;
        }
    }
}

bool PanelConnection::frameBegins(const FrameHead &head)
{
    if (m_ended)
        return false;
    if (head.opcode == FrameOpcode::Close)
        return true; // a goodbye is heard whatever the rate
    const qint64 now = m_clock();
    m_frameAllowance =
        refilled(m_frameAllowance, m_frameAllowanceAt, now, kFramesPerSecond, kFramesPerSecond);
    m_frameAllowanceAt = now;
    if (m_frameAllowance >= 1.0) {
        m_frameAllowance -= 1.0;
        return true;
    }
    if (now - m_lastComplaint >= kComplaintSpacingMs) {
        m_lastComplaint = now;
        m_events.push_back({Event::OverRate, {}, 0});
    }
    return false;
}

void PanelConnection::text(const QByteArray &utf8)
{
    m_events.push_back({Event::Text, utf8, 0});
}

void PanelConnection::binary()
{
    m_events.push_back({Event::Binary, {}, 0});
}

void PanelConnection::tooLarge(quint64 bytes)
{
    m_events.push_back({Event::TooLarge, {}, bytes});
}

void PanelConnection::ping(const QByteArray &payload)
{
    write(serverFrame(FrameOpcode::Pong, payload));
}

void PanelConnection::closed(quint16 code)
{
    const bool known = code == kCloseNormal || (code >= 1001 && code <= 1003) ||
                       (code >= 1007 && code <= 1011) || (code >= 3000 && code <= 4999);
    goodbye(known ? code : kCloseNormal, QString());
    end(QStringLiteral("the page closed"), false, false);
}

void PanelConnection::broken(const QString &why)
{
    goodbye(kCloseProtocolError, why);
    end(QStringLiteral("it broke the WebSocket protocol: %1").arg(why), true, false);
}

void PanelConnection::sendText(const QByteArray &utf8)
{
    write(serverFrame(FrameOpcode::Text, utf8));
}

bool PanelConnection::fits(qsizetype bytes) const
{
    return m_socket->bytesToWrite() + bytes <= kMaxQueuedBytes;
}

void PanelConnection::write(const QByteArray &frame)
{
    if (m_ended)
        return;
    if (!fits(frame.size())) {
        end(QStringLiteral("it read its updates too slowly"), true, true);
        return;
    }
    m_socket->write(frame);
}

void PanelConnection::goodbye(quint16 code, const QString &reason)
{
    const QByteArray frame = closeFrame(code, reason);
    if (fits(frame.size()))
        m_socket->write(frame);
}

void PanelConnection::end(const QString &why, bool overLimits, bool dropQueued)
{
    if (m_ended)
        return;
    m_ended = true;
    m_socket->disconnect(this);
    m_events.clear();
    if (dropQueued)
        m_socket->abort(); // what waits for the page is given up at once
    else
        m_socket->disconnectFromHost();
    // Told from the event loop: the page may have ended while the server was writing to it.
    QMetaObject::invokeMethod(
        this,
        [this, why, overLimits] {
            if (!m_closed)
                emit gone(why, overLimits);
        },
        Qt::QueuedConnection);
}

void PanelConnection::close(quint16 code, const QString &reason)
{
    m_closed = true;
    if (!m_ended) {
        m_ended = true;
        m_socket->disconnect(this);
        goodbye(code, reason);
        m_socket->disconnectFromHost();
    }
    if (m_socket->state() == QAbstractSocket::UnconnectedState) {
        deleteLater();
        return;
    }
    connect(m_socket, &QTcpSocket::disconnected, this, &QObject::deleteLater);
    QTimer::singleShot(kGoodbyeMs, this, [this] {
        m_socket->abort();
        deleteLater();
    });
}

} // namespace relm

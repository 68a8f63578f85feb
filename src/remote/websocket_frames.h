#pragma once

// WebSocket frames as a panel page sends them and as the panel answers. The reader takes bytes
// as they come and holds at most one frame head and one message of kMaxPanelMessageBytes: a
// longer message is skipped unread as it streams past, and its length reported. Before a
// frame's payload is read, whoever feeds the reader decides whether to read it at all; a frame
// refused there is skipped without being unmasked, decoded or parsed.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <cstdint>

namespace relm {

enum class FrameOpcode : quint8 {
    Continuation = 0x0,
    Text = 0x1,
    Binary = 0x2,
    Close = 0x8,
    Ping = 0x9,
    Pong = 0xA,
};

// Close codes the panel sends.
inline constexpr quint16 kCloseNormal = 1000;
inline constexpr quint16 kCloseGoingAway = 1001;
inline constexpr quint16 kCloseProtocolError = 1002;
inline constexpr quint16 kClosePolicy = 1008;

struct FrameHead
{
    FrameOpcode opcode = FrameOpcode::Text;
    bool fin = true;
    quint64 length = 0;
};

class FrameReader final
{
public:
    // What the reader found, told as it finds it.
    class Sink
    {
    public:
        virtual ~Sink() = default;
        // A frame begins; false skips its payload unread (and the message it belongs to).
        virtual bool frameBegins(const FrameHead &head) = 0;
        virtual void text(const QByteArray &utf8) = 0;
        virtual void binary() = 0;
        virtual void tooLarge(quint64 bytes) = 0; // a data message over the limit, skipped
        virtual void ping(const QByteArray &payload) = 0;
        virtual void closed(quint16 code) = 0;       // the page closed (1005: no code given)
        virtual void broken(const QString &why) = 0; // not a frame a client may send
    };

    explicit FrameReader(qsizetype maxMessageBytes);

    // Reads data; after closed() or broken() reads nothing more.
    void read(QByteArrayView data, Sink &sink);
    bool finished() const { return m_finished; }
    // Bytes kept between calls: a partial frame head and the message so far.
    qsizetype heldBytes() const { return m_head.size() + m_message.size() + m_control.size(); }

private:
    qsizetype headBytesWanted() const;
    bool headComplete(Sink &sink);
    void payload(QByteArrayView bytes);
    void frameEnds(Sink &sink);
    bool fail(Sink &sink, const QString &why); // false, always

    qsizetype m_maxMessageBytes;
    QByteArray m_head; // the frame head read so far (at most 14 bytes)
    FrameHead m_frame; // the frame whose payload is being read
    quint8 m_mask[4] = {};
    quint64 m_read = 0;  // of the current frame's payload
    bool m_keep = false; // the current frame's payload is kept
    bool m_inPayload = false;
    QByteArray m_control; // a control frame's payload (at most 125 bytes)
    // The data message being put together from its frames.
    bool m_inMessage = false;
    FrameOpcode m_messageOpcode = FrameOpcode::Text;
    QByteArray m_message;
    quint64 m_messageBytes = 0;
    bool m_messageDropped = false; // over the limit or a frame skipped: no message at its end
    bool m_finished = false;
};

// A frame from the server: final, unmasked.
QByteArray serverFrame(FrameOpcode opcode, QByteArrayView payload);
QByteArray closeFrame(quint16 code, const QString &reason);

// The Sec-WebSocket-Accept value for a handshake's Sec-WebSocket-Key.
QByteArray webSocketAccept(const QByteArray &key);

} // namespace relm

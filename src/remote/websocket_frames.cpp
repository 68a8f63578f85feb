#include "remote/websocket_frames.h"

#include <QCryptographicHash>

#include <algorithm>

namespace relm {

namespace {

constexpr qsizetype kMaxControlPayload = 125;

bool isControl(FrameOpcode opcode)
{
    return static_cast<quint8>(opcode) >= 0x8;
}

quint8 byteAt(const QByteArray &bytes, qsizetype i)
{
    return static_cast<quint8>(bytes[i]);
}

} // namespace

FrameReader::FrameReader(qsizetype maxMessageBytes)
    : m_maxMessageBytes(maxMessageBytes)
{}

bool FrameReader::fail(Sink &sink, const QString &why)
{
    m_finished = true;
    m_message.clear();
    m_control.clear();
    sink.broken(why);
    return false;
}

void FrameReader::read(QByteArrayView data, Sink &sink)
{
    while (!m_finished && !data.isEmpty()) {
        if (!m_inPayload) {
            // A frame head is 2 to 14 bytes; take only what it still lacks.
            const qsizetype n = std::min(headBytesWanted() - m_head.size(), data.size());
            m_head.append(data.first(n));
            data = data.sliced(n);
            if (m_head.size() == headBytesWanted() && headComplete(sink) && m_frame.length == 0)
                frameEnds(sink);
            continue;
        }
        const auto n = static_cast<qsizetype>(
            std::min<quint64>(m_frame.length - m_read, static_cast<quint64>(data.size())));
        if (m_keep)
            payload(data.first(n));
        m_read += static_cast<quint64>(n);
        data = data.sliced(n);
        if (m_read == m_frame.length)
            frameEnds(sink);
    }
}

qsizetype FrameReader::headBytesWanted() const
{
    if (m_head.size() < 2)
        return 2;
    const quint8 length7 = byteAt(m_head, 1) & 0x7F;
    return 2 + (length7 == 126 ? 2 : length7 == 127 ? 8 : 0) + 4;
}

bool FrameReader::headComplete(Sink &sink)
{
    const quint8 first = byteAt(m_head, 0), second = byteAt(m_head, 1);
    const qsizetype lengthBytes = headBytesWanted() - 6;

    if ((first & 0x70) != 0)
        return fail(sink, QStringLiteral("reserved bits set in a frame"));
    if ((second & 0x80) == 0)
        return fail(sink, QStringLiteral("a page's frame must be masked"));
    const quint8 op = first & 0x0F;
    if (!(op <= 0x2 || (op >= 0x8 && op <= 0xA)))
        return fail(sink, QStringLiteral("unknown frame opcode %1").arg(op));
    FrameHead head;
    head.opcode = static_cast<FrameOpcode>(op);
    head.fin = (first & 0x80) != 0;
    head.length = second & 0x7F;
    if (lengthBytes > 0) {
        head.length = 0;
        for (qsizetype i = 0; i < lengthBytes; ++i)
            head.length = (head.length << 8) | byteAt(m_head, 2 + i);
        if (head.length >> 63)
            return fail(sink, QStringLiteral("frame length out of range"));
    }
    if (isControl(head.opcode) && (!head.fin || head.length > kMaxControlPayload))
        return fail(sink, QStringLiteral("a control frame must be whole and at most 125 bytes"));
    if (head.opcode == FrameOpcode::Continuation && !m_inMessage)
        return fail(sink, QStringLiteral("a continuation frame without a message"));
    if ((head.opcode == FrameOpcode::Text || head.opcode == FrameOpcode::Binary) && m_inMessage)
        return fail(sink, QStringLiteral("a new message before the last one ended"));

    for (int i = 0; i < 4; ++i)
        m_mask[i] = byteAt(m_head, 2 + lengthBytes + i);
    m_head.clear();
    m_frame = head;
    m_read = 0;
    m_inPayload = true;
    m_keep = sink.frameBegins(head);
    if (!isControl(head.opcode)) {
        if (head.opcode != FrameOpcode::Continuation) {
            m_inMessage = true;
            m_messageOpcode = head.opcode;
            m_messageBytes = 0;
            m_messageDropped = false;
        }
        m_messageBytes = head.length > ~m_messageBytes ? ~quint64{0} : m_messageBytes + head.length;
        if (!m_keep || m_messageBytes > static_cast<quint64>(m_maxMessageBytes)) {
            // Nothing of this message is read any more; its bytes pass by unread.
            m_messageDropped = m_messageDropped || !m_keep;
            m_message.clear();
            m_message.squeeze();
            m_keep = false;
        }
    }
    return true;
}

void FrameReader::payload(QByteArrayView bytes)
{
    QByteArray &into = isControl(m_frame.opcode) ? m_control : m_message;
    const qsizetype at = into.size();
    into.append(bytes);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        into[at + i] = static_cast<char>(byteAt(into, at + i) ^ m_mask[(m_read + i) % 4]);
}

void FrameReader::frameEnds(Sink &sink)
{
    m_inPayload = false;
    if (isControl(m_frame.opcode)) {
        const QByteArray body = std::exchange(m_control, {});
        if (!m_keep && m_frame.opcode != FrameOpcode::Close)
            return;
        if (m_frame.opcode == FrameOpcode::Ping) {
            sink.ping(body);
        } else if (m_frame.opcode == FrameOpcode::Close) {
            if (body.size() == 1) {
                fail(sink, QStringLiteral("a close frame of one byte"));
                return;
            }
            m_finished = true;
            sink.closed(body.size() >= 2
                            ? static_cast<quint16>(byteAt(body, 0) << 8 | byteAt(body, 1))
                            : 1005);
        }
        return;
    }
    if (!m_frame.fin)
        return;
    m_inMessage = false;
    if (m_messageBytes > static_cast<quint64>(m_maxMessageBytes) && !m_messageDropped) {
        sink.tooLarge(m_messageBytes);
    } else if (!m_messageDropped) {
        if (m_messageOpcode == FrameOpcode::Text)
            sink.text(m_message);
        else
            sink.binary();
    }
    m_message.clear();
}

QByteArray serverFrame(FrameOpcode opcode, QByteArrayView payload)
{
    QByteArray frame;
    const qsizetype n = payload.size();
    frame.reserve(n + 10);
    frame += static_cast<char>(0x80 | static_cast<quint8>(opcode));
    if (n < 126) {
        frame += static_cast<char>(n);
    } else if (n < 65536) {
        frame += static_cast<char>(126);
        frame += static_cast<char>(n >> 8);
        frame += static_cast<char>(n & 0xFF);
    } else {
        frame += static_cast<char>(127);
        for (int shift = 56; shift >= 0; shift -= 8)
            frame += static_cast<char>((static_cast<quint64>(n) >> shift) & 0xFF);
    }
    frame.append(payload);
    return frame;
}

QByteArray closeFrame(quint16 code, const QString &reason)
{
    QByteArray body;
    body += static_cast<char>(code >> 8);
    body += static_cast<char>(code & 0xFF);
    body += reason.toUtf8().left(kMaxControlPayload - 2);
    return serverFrame(FrameOpcode::Close, body);
}

QByteArray webSocketAccept(const QByteArray &key)
{
    return QCryptographicHash::hash(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11",
                                    QCryptographicHash::Sha1)
        .toBase64();
}

} // namespace relm

#include "raw_page.h"

#include <QJsonDocument>
#include <QTest>

#include <sys/socket.h>

namespace relm::test {

RawPage::RawPage(quint16 port, const QString &from, bool reads)
    : m_reads(reads)
{
    m_socket.bind(QHostAddress(from));
    if (!reads) {
        // Neither this socket nor the kernel below it takes more than a few kilobytes; before
        // connecting, so that the window the server sees stays small.
        m_socket.setReadBufferSize(4096);
        const int small = 4096;
        ::setsockopt(static_cast<int>(m_socket.socketDescriptor()), SOL_SOCKET, SO_RCVBUF, &small,
                     sizeof small);
    }
    m_socket.connectToHost(QHostAddress::LocalHost, port);
    QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this] {
        if (m_answer.isEmpty() || m_reads)
            readFrames();
    });
}

bool RawPage::open(const QByteArray &target)
{
    if (!m_socket.waitForConnected(2000))
        return false;
    const QByteArray host = "127.0.0.1:" + QByteArray::number(m_socket.peerPort());
    m_socket.write("GET " + target + " HTTP/1.1\r\nHost: " + host +
                   "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n"
                   "Origin: http://" +
                   host + "\r\n\r\n");
    if (!QTest::qWaitFor([this] { return !m_answer.isEmpty() || !connected(); }, 3000))
        return false;
    return m_answer.startsWith("HTTP/1.1 101");
}

void RawPage::readFrames()
{
    if (m_answer.isEmpty()) {
        // The handshake's answer only; what follows waits for a page that reads.
        const QByteArray head = m_socket.peek(16384);
        const qsizetype end = head.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        m_answer = m_socket.read(end + 4);
        if (!m_reads)
            return;
    }
    m_received += m_socket.readAll();
    for (;;) {
        if (m_received.size() < 2)
            return;
        const auto b = [this](qsizetype i) { return static_cast<quint8>(m_received[i]); };
        quint64 length = b(1) & 0x7F;
        qsizetype at = 2;
        if (length == 126) {
            if (m_received.size() < 4)
                return;
            length = (quint64(b(2)) << 8) | b(3);
            at = 4;
        } else if (length == 127) {
            if (m_received.size() < 10)
                return;
            length = 0;
            for (int i = 2; i < 10; ++i)
                length = (length << 8) | b(i);
            at = 10;
        }
        if (quint64(m_received.size() - at) < length)
            return;
        const QByteArray payload = m_received.mid(at, static_cast<qsizetype>(length));
        const quint8 opcode = b(0) & 0x0F;
        if (opcode == Text)
            m_texts.push_back(payload);
        else if (opcode == Close)
            m_closeCodes.push_back(payload.size() >= 2
                                       ? quint16((quint8(payload[0]) << 8) | quint8(payload[1]))
                                       : 1005);
        m_received.remove(0, at + static_cast<qsizetype>(length));
    }
}

void RawPage::send(quint8 opcode, const QByteArray &payload, bool fin)
{
    QByteArray frame;
    frame += char((fin ? 0x80 : 0) | opcode);
    const qsizetype n = payload.size();
    if (n < 126) {
        frame += char(0x80 | n);
    } else if (n < 65536) {
        frame += char(0x80 | 126);
        frame += char(n >> 8);
        frame += char(n & 0xFF);
    } else {
        frame += char(0x80 | 127);
        for (int shift = 56; shift >= 0; shift -= 8)
            frame += char((quint64(n) >> shift) & 0xFF);
    }
    const char mask[4] = {0x12, 0x34, 0x56, 0x78};
    frame.append(mask, 4);
    for (qsizetype i = 0; i < n; ++i)
        frame += char(payload[i] ^ mask[i % 4]);
    write(frame);
}

void RawPage::write(const QByteArray &bytes)
{
    if (connected())
        m_socket.write(bytes);
}

bool RawPage::closedWithin(int ms)
{
    return QTest::qWaitFor([this] { return !connected(); }, ms);
}

std::vector<QJsonObject> RawPage::messages() const
{
    std::vector<QJsonObject> out;
    for (const QByteArray &text : m_texts)
        out.push_back(QJsonDocument::fromJson(text).object());
    return out;
}

int RawPage::count(const QString &type) const
{
    int n = 0;
    for (const QJsonObject &m : messages())
        n += m.value(u"type").toString() == type ? 1 : 0;
    return n;
}

bool RawPage::operating(int ms)
{
    return QTest::qWaitFor(
        [this] {
            const std::vector<QJsonObject> all = messages();
            for (auto it = all.rbegin(); it != all.rend(); ++it) {
                if (it->value(u"type").toString() == u"state")
                    return it->value(u"control").toBool();
            }
            return false;
        },
        ms);
}

QJsonObject RawPage::next(const QString &type, int ms)
{
    const int before = m_seen[type];
    if (!QTest::qWaitFor([&] { return count(type) > before; }, ms))
        return {};
    m_seen[type] = count(type);
    const std::vector<QJsonObject> all = messages();
    for (auto it = all.rbegin(); it != all.rend(); ++it) {
        if (it->value(u"type").toString() == type)
            return *it;
    }
    return {};
}

} // namespace relm::test

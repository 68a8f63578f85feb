#pragma once

// A page as a hostile client writes it: a TCP connection from a loopback address of its
// choosing, the WebSocket handshake written by hand, and frames sent and read as raw bytes, so
// that it can send what no browser sends (ping floods, frames without end) and read nothing.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QTcpSocket>

#include <map>
#include <vector>

namespace relm::test {

class RawPage final
{
public:
    enum Opcode : quint8 { Text = 0x1, Binary = 0x2, Close = 0x8, Ping = 0x9, Pong = 0xA };

    // Connects from address `from` to the panel on 127.0.0.1:port. A page that does not read
    // leaves everything the server sends in the kernel's buffers, as small as they can be.
    RawPage(quint16 port, const QString &from = QStringLiteral("127.0.0.1"), bool reads = true);
    RawPage(const RawPage &) = delete;
    RawPage &operator=(const RawPage &) = delete;

    // The handshake for `target` (e.g. "/ws" or "/ws?token=..."); true once the server has
    // answered 101. answer() holds the answer's head either way.
    bool open(const QByteArray &target = "/ws");
    const QByteArray &answer() const { return m_answer; }

    // One masked frame; length as announced, which may be more than the payload sent now.
    void send(quint8 opcode, const QByteArray &payload, bool fin = true);
    void sendText(const QByteArray &text) { send(Text, text); }
    // Writes bytes as they are, when the socket has room for them; false once it has none.
    void write(const QByteArray &bytes);
    qint64 unsent() const { return m_socket.bytesToWrite(); }

    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    bool closedWithin(int ms);

    // The text messages the server sent, in order (a page that reads).
    std::vector<QJsonObject> messages() const;
    // The newest message of a type after one more than `after` of that type has come.
    QJsonObject next(const QString &type, int ms = 2000);
    int count(const QString &type) const;
    // Whether the newest state the page has been sent lets it operate, within ms.
    bool operating(int ms = 2000);
    std::vector<quint16> closeCodes() const { return m_closeCodes; }

private:
    void readFrames();

    QTcpSocket m_socket;
    bool m_reads;
    QByteArray m_answer;
    QByteArray m_received;
    std::vector<QByteArray> m_texts;
    std::vector<quint16> m_closeCodes;
    std::map<QString, int> m_seen;
};

} // namespace relm::test

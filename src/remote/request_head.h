#pragma once

// The head of an HTTP request as the panel's front door reads it, before the request goes on to
// the HTTP or the WebSocket server: the request line and the few headers the door decides by.
// Whatever arrives is untrusted; a head that is cut, too long or malformed is refused.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace relm {

inline constexpr qsizetype kMaxRequestHeadBytes = 8192;

struct RequestHead
{
    QByteArray method;             // e.g. GET
    QByteArray path;               // the target without its query, e.g. /ws
    QByteArray query;              // what follows the first '?' of the target, e.g. token=...
    bool http11 = false;           // HTTP/1.1 (else HTTP/1.0)
    QByteArray host;               // Host header as sent ("127.0.0.1:8080"), empty if absent
    QByteArray origin;             // Origin header, empty if absent
    QByteArray acceptLanguage;     // Accept-Language header, empty if absent
    bool upgradeWebSocket = false; // Upgrade: websocket
    QByteArray webSocketKey;       // Sec-WebSocket-Key
    QByteArray webSocketVersion;   // Sec-WebSocket-Version
    bool hasBody = false;          // Content-Length above 0, or Transfer-Encoding given
};

struct RequestHeadParse
{
    std::optional<RequestHead> head;
    QString error;
};

// Bytes up to and including the blank line that ends the head, if they have all arrived.
// Returns the head's length, 0 while it is incomplete, -1 when it cannot be a head (too long).
qsizetype requestHeadLength(const QByteArray &received);

RequestHeadParse parseRequestHead(const QByteArray &head);

// The host part of a Host header: "127.0.0.1:8080" gives "127.0.0.1", "[::1]:80" gives "::1".
QString hostPart(const QByteArray &host);

// Where the panel serves, as a Host header must name it.
struct ServedAt
{
    quint16 port = 0;
    QStringList addresses; // each address a page may use, as QHostAddress writes it ("::1")
    bool loopback = false; // serving on loopback: localhost with the port names it too
};

// Whether a Host header names exactly where the panel serves: one of its addresses (IPv6 in
// brackets) or, on loopback, localhost, with the port (which a browser leaves out only for 80).
// Any other name could be another site's name for this machine (DNS rebinding), any other
// address or port another server's.
bool isServedHost(const QByteArray &host, const ServedAt &served);

// Whether the Origin of a WebSocket handshake is the page's own: http:// and the Host.
bool isOwnOrigin(const RequestHead &head);

} // namespace relm

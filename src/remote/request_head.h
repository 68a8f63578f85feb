#pragma once

// The head of an HTTP request as the panel's front door reads it, before the request goes on to
// the HTTP or the WebSocket server: the request line and the few headers the door decides by.
// Whatever arrives is untrusted; a head that is cut, too long or malformed is refused.

#include <QByteArray>
#include <QString>

#include <optional>

namespace relm {

inline constexpr qsizetype kMaxRequestHeadBytes = 8192;

struct RequestHead
{
    QByteArray method;     // e.g. GET
    QByteArray path;       // the target without its query, e.g. /ws
    QByteArray host;       // Host header as sent ("127.0.0.1:8080"), empty if absent
    QByteArray origin;     // Origin header, empty if absent
    bool upgradeWebSocket = false; // Upgrade: websocket
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

// Whether a Host header names this machine in a way no other site can: an address literal,
// localhost, or the machine's own name (also with .local). A page served from another site under
// a name that resolves to this machine (DNS rebinding) fails it.
bool isOwnHost(const QByteArray &host, const QString &machineName);

// Whether the Origin of a WebSocket handshake is the page's own: http:// and the Host.
bool isOwnOrigin(const RequestHead &head);

} // namespace relm

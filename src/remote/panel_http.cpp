#include "remote/panel_http.h"

#include "remote/panel_protocol.h"
#include "remote/websocket_frames.h"

#include <QFile>

#include <array>

namespace relm {

namespace {

const char *const kWebSocketPath = "/ws";

struct PanelFile
{
    const char *path;     // as the page asks for it
    const char *resource; // in the program's resources
    const char *type;
};

constexpr std::array<PanelFile, 3> kFiles{{
    {"/", ":/panel/index.html", "text/html; charset=utf-8"},
    {"/panel.js", ":/panel/panel.js", "text/javascript; charset=utf-8"},
    {"/panel.css", ":/panel/panel.css", "text/css; charset=utf-8"},
}};

// On every answer: only the panel's own files may run in it and no other site may frame it
// (a framed panel would send its hello from another site's page), it sends no referrer (its
// address may carry the token), types are as declared, nothing is cached (a page always
// matches the program), and the connection ends with the answer.
const QByteArray kSafetyHeaders =
    "Content-Security-Policy: default-src 'self'; frame-ancestors 'none'\r\n"
    "X-Frame-Options: DENY\r\n"
    "Referrer-Policy: no-referrer\r\n"
    "X-Content-Type-Options: nosniff\r\n"
    "Cache-Control: no-store\r\n"
    "Connection: close\r\n";

QByteArray answer(const QByteArray &status, const QByteArray &type, const QByteArray &body,
                  bool withBody, const QByteArray &extraHeaders = {})
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n" + kSafetyHeaders +
           extraHeaders + "\r\n" + (withBody ? body : QByteArray());
}

DoorAnswer refusal(const QByteArray &status, const QString &reason, const QByteArray &extra = {},
                   bool withBody = true)
{
    return {DoorAnswer::Kind::Answer,
            answer(status, "text/plain; charset=utf-8", reason.toUtf8() + '\n', withBody, extra),
            0,
            {}};
}

// The token a WebSocket request brings: the value of its token parameter, if any.
std::optional<QByteArray> queryToken(const QByteArray &query)
{
    for (const QByteArray &parameter : query.split('&')) {
        if (parameter.startsWith("token="))
            return parameter.mid(6);
    }
    return std::nullopt;
}

bool isHandshakeKey(const QByteArray &key)
{
    const auto decoded =
        QByteArray::fromBase64Encoding(key, QByteArray::AbortOnBase64DecodingErrors);
    return decoded && decoded.decoded.size() == 16;
}

DoorAnswer upgrade(const RequestHead &head, qsizetype length, const PageAdmission &admission)
{
    if (head.path != kWebSocketPath)
        return refusal("404 Not Found", QStringLiteral("no WebSocket here"));
    if (head.method != "GET" || !head.http11 || head.hasBody)
        return refusal("400 Bad Request",
                       QStringLiteral("a WebSocket request is a GET of HTTP/1.1 without a body"));
    if (head.webSocketVersion != "13")
        return refusal("426 Upgrade Required", QStringLiteral("WebSocket version 13 only"),
                       "Sec-WebSocket-Version: 13\r\n");
    if (!isHandshakeKey(head.webSocketKey))
        return refusal("400 Bad Request",
                       QStringLiteral("Sec-WebSocket-Key is not 16 bytes in base64"));
    // A page of another site the operator has open must not reach the console.
    if (!isOwnOrigin(head))
        return refusal("403 Forbidden", QStringLiteral("the page's origin is not this panel"));
    const std::optional<QByteArray> token = queryToken(head.query);
    if (token && !isPanelToken(*token))
        return refusal(
            "400 Bad Request",
            QStringLiteral("the token must be %1 lower-case hex digits").arg(kPanelTokenHexDigits));
    if (const std::optional<QString> full = admission(token.value_or(QByteArray())))
        return refusal("503 Service Unavailable", *full);
    return {DoorAnswer::Kind::Upgrade,
            "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
            "Sec-WebSocket-Accept: " +
                webSocketAccept(head.webSocketKey) + "\r\n\r\n",
            length, token.value_or(QByteArray())};
}

DoorAnswer answerHead(const QByteArray &received, qsizetype length, const ServedAt &served,
                      const PageAdmission &admission, const PageTexts *texts)
{
    const RequestHeadParse parsed = parseRequestHead(received.left(length));
    if (!parsed.head)
        return refusal("400 Bad Request", parsed.error);
    const RequestHead &head = *parsed.head;
    if (!isServedHost(head.host, served))
        return refusal("403 Forbidden",
                       QStringLiteral("unknown Host: open the panel by the address and port it "
                                      "serves on"));
    if (head.upgradeWebSocket)
        return upgrade(head, length, admission);
    const bool get = head.method == "GET";
    if (!get && head.method != "HEAD")
        return refusal("405 Method Not Allowed", QStringLiteral("the panel only answers GET"),
                       "Allow: GET, HEAD\r\n");
    if (head.hasBody)
        return refusal("400 Bad Request", QStringLiteral("a GET carries no body"));
    for (const PanelFile &f : kFiles) {
        if (head.path != f.path)
            continue;
        QFile file(QString::fromLatin1(f.resource));
        if (!file.open(QIODevice::ReadOnly))
            break;
        QByteArray body = file.readAll();
        QByteArray language;
        if (texts && head.path == "/") {
            const QString chosen = pageLanguage(head.acceptLanguage);
            body = texts->page(body, chosen);
            language = "Content-Language: " + chosen.toLatin1() + "\r\nVary: Accept-Language\r\n";
        }
        return {DoorAnswer::Kind::Answer, answer("200 OK", f.type, body, get, language), 0, {}};
    }
    return refusal("404 Not Found", QStringLiteral("not found"), {}, get);
}

} // namespace

DoorAnswer answerDoor(const QByteArray &received, const ServedAt &served,
                      const PageAdmission &admission, const PageTexts *texts)
{
    const qsizetype length = requestHeadLength(received);
    if (length == 0)
        return {};
    if (length < 0)
        return refusal("431 Request Header Fields Too Large",
                       QStringLiteral("request head too long"));
    DoorAnswer door = answerHead(received, length, served, admission, texts);
    door.headLength = length;
    return door;
}

} // namespace relm

#include "remote/request_head.h"

#include <QList>

namespace relm {

namespace {

constexpr qsizetype kMaxHeaders = 64;

bool isToken(const QByteArray &s)
{
    if (s.isEmpty())
        return false;
    for (const char c : s) {
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '!' ||
                        c == '#' || c == '$' || c == '%' || c == '&' || c == '\'' || c == '*' ||
                        c == '+' || c == '^' || c == '`' || c == '|' || c == '~';
        if (!ok)
            return false;
    }
    return true;
}

RequestHeadParse refused(const QString &why)
{
    return {std::nullopt, why};
}

} // namespace

qsizetype requestHeadLength(const QByteArray &received)
{
    const qsizetype end = received.indexOf("\r\n\r\n");
    if (end >= 0 && end + 4 <= kMaxRequestHeadBytes)
        return end + 4;
    return received.size() >= kMaxRequestHeadBytes ? -1 : 0;
}

RequestHeadParse parseRequestHead(const QByteArray &head)
{
    if (head.size() > kMaxRequestHeadBytes)
        return refused(QStringLiteral("request head too long"));
    if (!head.endsWith("\r\n\r\n"))
        return refused(QStringLiteral("request head not ended by a blank line"));
    // Lines end with CR LF; a lone CR or LF inside a line makes it malformed.
    QList<QByteArray> lines;
    const QByteArray text = head.left(head.size() - 4);
    for (qsizetype from = 0;;) {
        const qsizetype end = text.indexOf("\r\n", from);
        lines.append(text.mid(from, end < 0 ? -1 : end - from));
        if (end < 0)
            break;
        from = end + 2;
    }
    if (lines.size() - 1 > kMaxHeaders)
        return refused(QStringLiteral("too many header lines"));
    for (const QByteArray &line : lines) {
        if (line.contains('\r') || line.contains('\n'))
            return refused(QStringLiteral("header line not ended by CR LF"));
    }

    RequestHead h;
    const QList<QByteArray> parts = lines.first().split(' ');
    if (parts.size() != 3 || !isToken(parts[0]) || !parts[1].startsWith('/') ||
        !(parts[2] == "HTTP/1.1" || parts[2] == "HTTP/1.0")) {
        return refused(QStringLiteral("malformed request line"));
    }
    h.method = parts[0];
    h.http11 = parts[2] == "HTTP/1.1";
    const qsizetype query = parts[1].indexOf('?');
    h.path = query < 0 ? parts[1] : parts[1].left(query);
    h.query = query < 0 ? QByteArray() : parts[1].mid(query + 1);

    bool upgradeHeader = false, connectionUpgrade = false;
    int hosts = 0;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0 || !isToken(line.left(colon)))
            return refused(QStringLiteral("malformed header line"));
        const QByteArray name = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "host") {
            h.host = value;
            ++hosts;
        } else if (name == "origin") {
            h.origin = value;
        } else if (name == "accept-language") {
            h.acceptLanguage = value;
        } else if (name == "upgrade") {
            upgradeHeader = value.toLower() == "websocket";
        } else if (name == "connection") {
            for (const QByteArray &option : value.toLower().split(','))
                connectionUpgrade = connectionUpgrade || option.trimmed() == "upgrade";
        } else if (name == "sec-websocket-key") {
            h.webSocketKey = value;
        } else if (name == "sec-websocket-version") {
            h.webSocketVersion = value;
        } else if (name == "content-length") {
            bool ok = false;
            const qulonglong length = value.toULongLong(&ok);
            if (!ok)
                return refused(QStringLiteral("malformed Content-Length"));
            h.hasBody = h.hasBody || length > 0;
        } else if (name == "transfer-encoding") {
            h.hasBody = true;
        }
    }
    if (hosts != 1)
        return refused(QStringLiteral("a request needs exactly one Host header"));
    h.upgradeWebSocket = upgradeHeader && connectionUpgrade;
    return {h, QString()};
}

QString hostPart(const QByteArray &host)
{
    if (host.startsWith('[')) {
        const qsizetype close = host.indexOf(']');
        return close < 0 ? QString() : QString::fromLatin1(host.mid(1, close - 1));
    }
    const qsizetype colon = host.lastIndexOf(':');
    return QString::fromLatin1(colon < 0 ? host : host.left(colon));
}

bool isServedHost(const QByteArray &host, const ServedAt &served)
{
    const QString name = hostPart(host).toLower();
    if (name.isEmpty())
        return false;
    // What follows the name: nothing (port 80) or a colon and the port as a browser writes it.
    const qsizetype nameEnd = host.startsWith('[') ? host.indexOf(']') + 1 : name.size();
    const QByteArray rest = host.mid(nameEnd);
    const bool portRight =
        rest.isEmpty() ? served.port == 80 : rest == ':' + QByteArray::number(served.port);
    if (!portRight || (host.startsWith('[') != name.contains(u':')))
        return false;
    return served.addresses.contains(name) || (served.loopback && name == u"localhost");
}

bool isOwnOrigin(const RequestHead &head)
{
    return !head.host.isEmpty() &&
           head.origin.toLower() == QByteArrayLiteral("http://") + head.host.toLower();
}

} // namespace relm

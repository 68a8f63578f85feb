#include "remote/panel_protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

#include <algorithm>
#include <array>
#include <cmath>
#include <string_view>
#include <vector>

namespace relm {

namespace {

constexpr int kTrains = 3;
constexpr int kTopSpeed = 128;

struct Kind
{
    std::string_view type;
    PanelCommand command;
    bool train; // carries "train"
    bool speed; // carries "speed"
    bool token; // carries "token"
};

constexpr std::array<Kind, 8> kKinds{{
    {"hello", PanelCommand::Hello, false, false, true},
    {"heartbeat", PanelCommand::Heartbeat, false, false, false},
    {"speed", PanelCommand::Speed, true, true, false},
    {"stop", PanelCommand::Stop, true, false, false},
    {"point", PanelCommand::Point, true, false, false},
    {"reverse", PanelCommand::Reverse, true, false, false},
    {"transfer", PanelCommand::Transfer, false, false, false},
    {"reset", PanelCommand::Reset, false, false, false},
}};

PanelParse refused(const QString &why)
{
    return {std::nullopt, why};
}

// A whole number within [low, high]; JSON numbers arrive as doubles.
std::optional<int> wholeNumber(const QJsonValue &v, int low, int high)
{
    if (!v.isDouble())
        return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < low || d > high)
        return std::nullopt;
    return static_cast<int>(d);
}


// The members' names of the outermost object of valid JSON text, in order and as written
// (quotes and escapes included), repeated names each time: the parser keeps only the last.
std::vector<QByteArray> outerNames(const QByteArray &json)
{
    std::vector<QByteArray> names;
    int depth = 0;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '"') {
            qsizetype end = i + 1;
            while (end < json.size() && json[end] != '"')
                end += json[end] == '\\' ? 2 : 1;
            qsizetype next = end + 1;
            while (next < json.size() && QByteArrayView(" \t\r\n").contains(json[next]))
                ++next;
            // A string at the outermost level is a member's name exactly when a value follows.
            if (depth == 1 && next < json.size() && json[next] == ':')
                names.push_back(json.mid(i, end + 1 - i));
            i = end;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            --depth;
        }
    }
    return names;
}

// The first name that comes twice among names as written.
QString repeatedName(const std::vector<QByteArray> &written)
{
    QStringList seen;
    for (const QByteArray &raw : written) {
        const QString name = QJsonDocument::fromJson('[' + raw + ']').array().at(0).toString();
        if (seen.contains(name))
            return name;
        seen.append(name);
    }
    return QString();
}

} // namespace

bool isPanelToken(const QByteArray &text)
{
    if (text.size() != kPanelTokenHexDigits)
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
}

bool isOperatorCommand(PanelCommand command)
{
    return command != PanelCommand::Hello && command != PanelCommand::Heartbeat;
}

PanelParse parsePanelMessage(const QByteArray &message)
{
    if (message.size() > kMaxPanelMessageBytes) {
        return refused(QStringLiteral("message too large: %1 bytes (at most %2)")
                           .arg(message.size())
                           .arg(kMaxPanelMessageBytes));
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(message, &error);
    if (error.error != QJsonParseError::NoError)
        return refused(QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset));
    if (!doc.isObject())
        return refused(QStringLiteral("not a JSON object"));
    const QJsonObject o = doc.object();
    if (const std::vector<QByteArray> names = outerNames(message);
        static_cast<qsizetype>(names.size()) != o.size()) {
        return refused(QStringLiteral("\"%1\" twice: send each field once")
                           .arg(repeatedName(names).left(40)));
    }
    const QJsonValue typeValue = o.value(QStringLiteral("type"));
    if (!typeValue.isString())
        return refused(QStringLiteral("no \"type\" string"));
    const QString type = typeValue.toString();
    const Kind *kind = nullptr;
    for (const Kind &k : kKinds) {
        if (type == QLatin1String(k.type.data(), static_cast<qsizetype>(k.type.size())))
            kind = &k;
    }
    if (kind == nullptr)
        return refused(QStringLiteral("unknown command \"%1\"").arg(type.left(40)));

    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString &key = it.key();
        const bool known = key == u"type" || (kind->train && key == u"train") ||
                           (kind->speed && key == u"speed") || (kind->token && key == u"token");
        if (!known)
            return refused(QStringLiteral("%1: unexpected field \"%2\"").arg(type, key.left(40)));
    }

    PanelRequest r;
    r.command = kind->command;
    if (kind->train) {
        const auto train = wholeNumber(o.value(QStringLiteral("train")), 0, kTrains - 1);
        if (!train)
            return refused(QStringLiteral("%1: \"train\" must be 0, 1 or 2").arg(type));
        r.train = *train;
    }
    if (kind->speed) {
        const auto speed = wholeNumber(o.value(QStringLiteral("speed")), 0, kTopSpeed);
        if (!speed)
            return refused(QStringLiteral("%1: \"speed\" must be a whole number 0..128").arg(type));
        r.speed = *speed;
    }
    if (kind->token) {
        const QJsonValue token = o.value(QStringLiteral("token"));
        if (!token.isString() || !isPanelToken(token.toString().toUtf8()))
            return refused(QStringLiteral("hello: \"token\" must be 32 lower-case hex digits"));
        r.token = token.toString().toLatin1();
    }
    return {r, QString()};
}

} // namespace relm

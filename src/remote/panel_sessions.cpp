#include "remote/panel_sessions.h"

#include "console/console.h"
#include "remote/panel_protocol.h"

#include <algorithm>

namespace relm {

namespace {

constexpr std::array<const char *, 3> kTrainNames{"X", "Y", "Z"};
constexpr std::size_t kRememberedAddresses = 1024;

bool sameToken(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

} // namespace

PanelSessions::PanelSessions(Console &console, QByteArray token, Clock clock)
    : m_console(console)
    , m_token(std::move(token))
    , m_clock(std::move(clock))
{}

bool PanelSessions::lockedOut(const QString &address) const
{
    const auto it = m_failures.find(address);
    return it != m_failures.end() && m_clock() < it->second.lockedUntil;
}

int PanelSessions::open(const QString &address)
{
    const int id = m_nextId++;
    Page page;
    page.address = address;
    page.allowanceAt = m_clock();
    page.operatorId = m_console.newRemoteOperator();
    m_pages.emplace(id, page);
    return id;
}

void PanelSessions::close(int id, const QString &why)
{
    const auto it = m_pages.find(id);
    if (it == m_pages.end())
        return;
    const int operatorId = it->second.operatorId;
    m_pages.erase(it);
    for (const int t : m_console.remoteOperatorGone(operatorId)) {
        m_console.note(QStringLiteral("remote panel: train %1 stopped, the page that set it moving "
                                      "went away (%2)")
                           .arg(QLatin1String(kTrainNames[static_cast<std::size_t>(t)]), why));
    }
}

std::vector<int> PanelSessions::silent() const
{
    std::vector<int> ids;
    const qint64 now = m_clock();
    for (const auto &[id, page] : m_pages) {
        if (page.operating && now - page.lastHeartbeat >= kHeartbeatTimeoutMs)
            ids.push_back(id);
    }
    return ids;
}

bool PanelSessions::operating(int id) const
{
    const auto it = m_pages.find(id);
    return it != m_pages.end() && it->second.operating;
}

bool PanelSessions::withinRate(Page &page)
{
    const qint64 now = m_clock();
    page.allowance = std::min<double>(kMessagesPerSecond,
                                      page.allowance + (now - page.allowanceAt) *
                                                           kMessagesPerSecond / 1000.0);
    page.allowanceAt = now;
    if (page.allowance < 1.0)
        return false;
    page.allowance -= 1.0;
    return true;
}

void PanelSessions::wrongToken(const QString &address)
{
    const qint64 now = m_clock();
    if (m_failures.size() >= kRememberedAddresses) {
        // Forget addresses that are neither locked nor recently wrong.
        std::erase_if(m_failures, [now](const auto &entry) {
            const Failures &f = entry.second;
            return now >= f.lockedUntil &&
                   (f.times.empty() || now - f.times.back() >= kWrongTokenWindowMs);
        });
    }
    Failures &f = m_failures[address];
    f.times.push_back(now);
    while (!f.times.empty() && now - f.times.front() >= kWrongTokenWindowMs)
        f.times.pop_front();
    if (static_cast<int>(f.times.size()) >= kWrongTokensToLock) {
        f.lockedUntil = now + kLockOutMs;
        f.times.clear();
        m_console.note(QStringLiteral("remote panel: %1 locked out for a minute after %2 wrong "
                                      "tokens")
                           .arg(address)
                           .arg(kWrongTokensToLock));
    }
}

QString PanelSessions::hello(Page &page, const QByteArray &token)
{
    if (lockedOut(page.address))
        return QStringLiteral("locked out after too many wrong tokens; try again in a minute");
    if (!sameToken(token, m_token)) {
        wrongToken(page.address);
        return QStringLiteral("wrong token: this page may only watch");
    }
    page.operating = true;
    page.lastHeartbeat = m_clock();
    return QString();
}

std::optional<QString> PanelSessions::handle(int id, const QByteArray &message)
{
    const auto it = m_pages.find(id);
    if (it == m_pages.end())
        return std::nullopt;
    Page &page = it->second;
    if (!withinRate(page)) {
        // One complaint a second at most: the answer must not flood the page in turn.
        const qint64 now = m_clock();
        if (now - page.lastRateError < 1000)
            return std::nullopt;
        page.lastRateError = now;
        return QStringLiteral("too many messages: at most %1 a second").arg(kMessagesPerSecond);
    }
    const PanelParse parsed = parsePanelMessage(message);
    if (!parsed.request)
        return parsed.error;
    const PanelRequest &r = *parsed.request;
    if (r.command == PanelCommand::Hello) {
        const QString error = hello(page, r.token);
        return error.isEmpty() ? std::nullopt : std::optional<QString>(error);
    }
    if (r.command == PanelCommand::Heartbeat) {
        if (page.operating)
            page.lastHeartbeat = m_clock();
        return std::nullopt;
    }
    if (!page.operating)
        return QStringLiteral("this page may only watch: open it with the operator's token to drive");

    switch (r.command) {
    case PanelCommand::Speed:
        m_console.requestSpeed(r.train, r.speed, page.operatorId);
        break;
    case PanelCommand::Stop:
        m_console.stop(r.train);
        break;
    case PanelCommand::Point:
        m_console.point(r.train);
        break;
    case PanelCommand::Reverse:
        m_console.reverse(r.train);
        break;
    case PanelCommand::Transfer:
        m_console.transfer();
        break;
    case PanelCommand::Reset:
        m_console.reset();
        break;
    case PanelCommand::Hello:
    case PanelCommand::Heartbeat:
        break;
    }
    return std::nullopt;
}

} // namespace relm

#include "remote/panel_sessions.h"

#include "console/console.h"
#include "remote/panel_protocol.h"

#include <algorithm>
#include <cmath>

namespace relm {

namespace {

constexpr std::array<const char *, 3> kTrainNames{"X", "Y", "Z"};

bool sameToken(const QByteArray &a, const QByteArray &b)
{
    // Constant time: how long it takes says nothing of how much of the token was right.
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
{
    m_checkAllowanceAt = m_clock();
}

int PanelSessions::watching(const QString *address) const
{
    return static_cast<int>(std::count_if(m_pages.begin(), m_pages.end(), [&](const auto &entry) {
        const Page &p = entry.second;
        return !p.operating && (address == nullptr || p.address == *address);
    }));
}

bool PanelSessions::isRight(const QByteArray &token) const
{
    return !token.isEmpty() && sameToken(token, m_token);
}

std::optional<QString> PanelSessions::refusal(const QString &address, const QByteArray &token) const
{
    if (count() >= kMaxPages)
        return QStringLiteral("already %1 pages connected").arg(kMaxPages);
    if (isRight(token))
        return std::nullopt;
    if (watching(nullptr) >= kMaxWatchingPages)
        return QStringLiteral("already %1 pages without the operator's token; the other places "
                              "are kept for pages that bring it")
            .arg(kMaxWatchingPages);
    if (watching(&address) >= kMaxWatchingPerAddress)
        return QStringLiteral("already %1 pages without the operator's token from %2")
            .arg(kMaxWatchingPerAddress)
            .arg(address);
    return std::nullopt;
}

int PanelSessions::open(const QString &address, const QByteArray &token)
{
    const int id = m_nextId++;
    Page page;
    page.address = address;
    page.lastHeartbeat = m_clock();
    page.operatorId = m_console.newRemoteOperator();
    page.operating = isRight(token);
    if (!token.isEmpty() && !page.operating)
        wrongToken(address);
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
    std::erase(m_waiting, id);
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
        if (now - page.lastHeartbeat >= kHeartbeatTimeoutMs)
            ids.push_back(id);
    }
    return ids;
}

bool PanelSessions::operating(int id) const
{
    const auto it = m_pages.find(id);
    return it != m_pages.end() && it->second.operating;
}

std::vector<PanelSessions::TokenCheck> PanelSessions::checkTokens()
{
    const qint64 now = m_clock();
    m_checkAllowance = std::min<double>(
        kTokenChecksPerSecond, m_checkAllowance + static_cast<double>(now - m_checkAllowanceAt) *
                                                      kTokenChecksPerSecond / 1000.0);
    m_checkAllowanceAt = now;
    std::vector<TokenCheck> checks;
    while (!m_waiting.empty() && m_checkAllowance >= 1.0) {
        const int id = m_waiting.front();
        m_waiting.pop_front();
        Page &page = m_pages.at(id);
        const QByteArray token = *std::exchange(page.waitingToken, std::nullopt);
        m_checkAllowance -= 1.0;
        TokenCheck check{id, isRight(token)};
        if (check.right) {
            page.operating = true;
            page.lastHeartbeat = now;
        } else {
            wrongToken(page.address);
        }
        checks.push_back(check);
    }
    return checks;
}

std::optional<qint64> PanelSessions::nextCheckInMs() const
{
    if (m_waiting.empty())
        return std::nullopt;
    const double allowance =
        m_checkAllowance +
        static_cast<double>(m_clock() - m_checkAllowanceAt) * kTokenChecksPerSecond / 1000.0;
    if (allowance >= 1.0)
        return 0;
    return static_cast<qint64>(std::ceil((1.0 - allowance) * 1000.0 / kTokenChecksPerSecond));
}

void PanelSessions::wrongToken(const QString &address)
{
    int heldBack = 0;
    if (!m_wrongTokenNotes.due(address, m_clock(), &heldBack))
        return;
    m_console.note(
        QStringLiteral("remote panel: wrong token from %1, that page may only watch%2")
            .arg(address,
                 heldBack > 0
                     ? QStringLiteral(" (%1 more from there in the last minute)").arg(heldBack)
                     : QString()));
}

std::optional<QString> PanelSessions::handle(int id, const QByteArray &message)
{
    const auto it = m_pages.find(id);
    if (it == m_pages.end())
        return std::nullopt;
    Page &page = it->second;
    const PanelParse parsed = parsePanelMessage(message);
    if (!parsed.request)
        return parsed.error;
    const PanelRequest &r = *parsed.request;
    if (r.command == PanelCommand::Hello) {
        if (page.operating)
            return std::nullopt;
        if (page.waitingToken)
            return QStringLiteral("hello: this page's token already waits to be checked");
        page.waitingToken = r.token;
        m_waiting.push_back(id);
        return std::nullopt;
    }
    if (r.command == PanelCommand::Heartbeat) {
        page.lastHeartbeat = m_clock();
        return std::nullopt;
    }
    if (!page.operating)
        return QStringLiteral(
            "this page may only watch: open it with the operator's token to drive");

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

#pragma once

// The remote panel over loopback for the tests: the console on a pseudo-terminal, the panel
// server on a free port with a clock the test moves, pages as a browser opens them (Qt's own
// WebSocket client), and plain HTTP requests.

#include "controller_pty.h"

#include "console/console.h"
#include "remote/panel_server.h"

#include <QJsonObject>
#include <QWebSocket>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace relm::test {

inline const QByteArray kToken = "0123456789abcdef0123456789abcdef";

// One page: a WebSocket client and everything it has been sent.
class Page
{
public:
    explicit Page(quint16 port, const QString &origin = QStringLiteral("default"),
                  const QString &host = QStringLiteral("127.0.0.1"),
                  const QString &target = QStringLiteral("/ws"));

    bool connected(int ms = 3000);
    bool refused(int ms = 3000);

    void send(const QByteArray &text) { m_socket.sendTextMessage(QString::fromUtf8(text)); }
    void sendBinary(const QByteArray &bytes) { m_socket.sendBinaryMessage(bytes); }
    void close() { m_socket.close(); }
    void abort() { m_socket.abort(); }

    // The newest message of a type, after waiting until one more than `after` has come.
    QJsonObject next(const QString &type, int ms = 2000);

    std::vector<QJsonObject> messages;
    std::map<QString, std::ptrdiff_t> seen;

private:
    QWebSocket m_socket;
};

class PanelTest : public testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // A page that has said hello with the right token and been told it may operate.
    std::unique_ptr<Page> operatingPage();
    // What the console has written to the controller since the last call.
    QByteArray written();
    // Notes the console recorded that contain text.
    int notesWith(const QString &text) const;

    qint64 now = 0;
    std::vector<QString> notes; // outlives the console, whose notes it collects
    Module1 module;
    std::optional<Console> console;
    std::optional<PanelServer> server;
    ControllerPty m_pty;
    int m_master = -1;
};

// One request on a fresh connection; the whole answer, once the server has closed it. The
// server runs in this thread, so the client waits in the event loop.
QByteArray httpGet(quint16 port, const QByteArray &request);

} // namespace relm::test

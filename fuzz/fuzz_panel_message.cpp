// Whatever a remote page or a stranger on the network sends: the first byte chooses whether the
// rest is a panel message, handled by the sessions of an operating page and then of a watching
// one, or the head of an HTTP request as the panel's front door reads it. Holds the rules: a
// refused message says why and changes nothing; an accepted one leaves every slider and
// requested speed within 0..128; a watching page changes nothing at all; and a head is either
// read or refused with a reason.

#include "console/console.h"
#include "remote/panel_protocol.h"
#include "remote/panel_sessions.h"
#include "remote/request_head.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace relm;

const QByteArray kToken = "00112233445566778899aabbccddeeff";

// The tables an operator command can change.
bool sameTables(const Module1 &a, const Module1 &b)
{
    return a.SliderSpeed == b.SliderSpeed && a.PointReq == b.PointReq && a.RevState == b.RevState &&
           a.TrainCmd == b.TrainCmd && a.InitSent == b.InitSent && a.PosCode0 == b.PosCode0;
}

[[noreturn]] void broken(const char *rule)
{
    std::fprintf(stderr, "broken rule: %s\n", rule);
    std::abort();
}

void checkMessage(const QByteArray &message)
{
    static Module1 module;
    static Console console(module, QStringLiteral("/dev/relm-fuzz-no-such-port"));
    static qint64 now = 0;
    static PanelSessions sessions(console, kToken, [] { return now; });
    static unsigned inputs = 0;
    now += 1000; // never rate-limited
    ++inputs;

    // Each input from an address of its own, so a lock-out earlier inputs earned does not matter.
    const int operatingPage = sessions.open(QStringLiteral("10.%1.%2.%3")
                                                .arg((inputs >> 16) & 0xFF)
                                                .arg((inputs >> 8) & 0xFF)
                                                .arg(inputs & 0xFF));
    sessions.handle(operatingPage, "{\"type\":\"hello\",\"token\":\"" + kToken + "\"}");
    if (!sessions.operating(operatingPage))
        broken("the right token lets a page operate");

    const Module1 before = module;
    const PanelParse parsed = parsePanelMessage(message);
    const std::optional<QString> error = sessions.handle(operatingPage, message);
    if (parsed.request.has_value() != parsed.error.isEmpty())
        broken("a message is either read or refused with a reason");
    if (!parsed.request && (!error || !sameTables(before, module)))
        broken("a refused message is answered and changes nothing");
    for (int t = 0; t < kTrainCount; ++t) {
        if (module.SliderSpeed[t] < 0 || module.SliderSpeed[t] > 128 ||
            console.train(t).sliderPosition < 0 || console.train(t).sliderPosition > 128)
            broken("speeds stay within 0..128");
    }
    sessions.close(operatingPage, QStringLiteral("fuzz"));

    const int watchingPage = sessions.open(QStringLiteral("127.0.0.2"));
    const Module1 watched = module;
    if (!parsed.request || parsed.request->command != PanelCommand::Hello) {
        sessions.handle(watchingPage, message);
        if (!sameTables(watched, module))
            broken("a watching page changes nothing");
    }
    sessions.close(watchingPage, QStringLiteral("fuzz"));
}

void checkHead(const QByteArray &bytes)
{
    const qsizetype length = requestHeadLength(bytes);
    if (length > kMaxRequestHeadBytes)
        broken("a head is never longer than the door reads");
    const RequestHeadParse parsed = parseRequestHead(length > 0 ? bytes.left(length) : bytes);
    if (parsed.head.has_value() != parsed.error.isEmpty())
        broken("a head is either read or refused with a reason");
    if (parsed.head) {
        isOwnOrigin(*parsed.head);
        isOwnHost(parsed.head->host, QStringLiteral("railpc"));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray rest(reinterpret_cast<const char *>(data) + 1, static_cast<qsizetype>(size - 1));
    if (data[0] % 2 == 0)
        checkMessage(rest);
    else
        checkHead(rest);
    return 0;
}

// Whatever a remote page or a stranger on the network sends. The first byte chooses what the
// rest is:
//
// - 0: a panel message, handled by the sessions of an operating page and then of a watching
//   one. A refused message says why and changes nothing; an accepted one leaves every slider
//   and requested speed within 0..128; a watching page changes nothing at all.
// - 1: what arrives on a new connection, maybe several requests one after another, as the
//   front door answers it. The answer depends on the first request alone, carries the safety
//   headers, has no body for HEAD, and opens a WebSocket only for /ws from the panel's origin;
//   the page's language, by Accept-Language, is English or Japanese and changes nothing else.
// - 2: a page's WebSocket frames, control frames among them, in chunks whose sizes the input's
//   second byte chooses. The reader tells the same in any chunks, never a message over the
//   limit or a control payload over 125 bytes, nothing after a close or a broken frame, and
//   holds no more than a frame head, a control payload and one message.

#include "console/console.h"
#include "remote/page_texts.h"
#include "remote/panel_http.h"
#include "remote/panel_protocol.h"
#include "remote/panel_sessions.h"
#include "remote/request_head.h"
#include "remote/websocket_frames.h"

#include <QCoreApplication>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using namespace relm;

const QByteArray kToken = "00112233445566778899aabbccddeeff";

[[noreturn]] void violated(const char *rule)
{
    std::fprintf(stderr, "broken rule: %s\n", rule);
    std::abort();
}

// The tables an operator command can change.
bool sameTables(const Module1 &a, const Module1 &b)
{
    return a.SliderSpeed == b.SliderSpeed && a.PointReq == b.PointReq && a.RevState == b.RevState &&
           a.TrainCmd == b.TrainCmd && a.InitSent == b.InitSent && a.PosCode0 == b.PosCode0;
}

void checkMessage(const QByteArray &message)
{
    static Module1 module;
    static Console console(module, QStringLiteral("/dev/relm-fuzz-no-such-port"));
    static qint64 now = 0;
    static PanelSessions sessions(console, kToken, [] { return now; });
    now += 1000; // a hello is always within the budget

    const int operatingPage = sessions.open(QStringLiteral("10.0.0.1"), kToken);
    if (!sessions.operating(operatingPage))
        violated("the right token lets a page operate");

    const Module1 before = module;
    const PanelParse parsed = parsePanelMessage(message);
    const std::optional<QString> error = sessions.handle(operatingPage, message);
    if (parsed.request.has_value() != parsed.error.isEmpty())
        violated("a message is either read or refused with a reason");
    if (!parsed.request && (!error || !sameTables(before, module)))
        violated("a refused message is answered and changes nothing");
    for (int t = 0; t < kTrainCount; ++t) {
        if (module.SliderSpeed[t] < 0 || module.SliderSpeed[t] > 128 ||
            console.train(t).sliderPosition < 0 || console.train(t).sliderPosition > 128)
            violated("speeds stay within 0..128");
    }
    sessions.close(operatingPage, QStringLiteral("fuzz"));

    const int watchingPage = sessions.open(QStringLiteral("127.0.0.2"));
    const Module1 watched = module;
    sessions.handle(watchingPage, message);
    for (const PanelSessions::TokenCheck &check : sessions.checkTokens()) {
        if (check.right != (parsed.request && parsed.request->token == kToken))
            violated("only the right token is taken for it");
    }
    if (!sessions.operating(watchingPage) && !sameTables(watched, module))
        violated("a watching page changes nothing");
    sessions.close(watchingPage, QStringLiteral("fuzz"));
}

void checkDoor(const QByteArray &bytes)
{
    ServedAt served;
    served.port = 8080;
    served.addresses = {QStringLiteral("127.0.0.1")};
    served.loopback = true;
    bool asked = false;
    const auto admission = [&](const QByteArray &token) -> std::optional<QString> {
        asked = true;
        if (token == kToken)
            return std::nullopt;
        return bytes.size() % 2 == 0 ? std::nullopt
                                     : std::optional<QString>(QStringLiteral("full"));
    };
    const DoorAnswer door = answerDoor(bytes, served, admission);
    if (door.kind == DoorAnswer::Kind::NeedMore) {
        if (bytes.size() >= kMaxRequestHeadBytes)
            violated("a head the door cannot hold is refused");
        return;
    }
    // In the language a request asks for, the page is another, and nothing else is.
    static const PageTexts *const texts = [] {
        auto *t = new PageTexts;
        if (!t->loadEnglish(QStringLiteral(RELM_TRANSLATIONS_DIR "/relm_en.qm")))
            violated("the English translation loads");
        return t;
    }();
    const DoorAnswer spoken = answerDoor(bytes, served, admission, texts);
    if (spoken.kind != door.kind || spoken.headLength != door.headLength ||
        spoken.bytes.left(spoken.bytes.indexOf("\r\n")) !=
            door.bytes.left(door.bytes.indexOf("\r\n")))
        violated("the page's language changes only the page");
    if (const RequestHeadParse request = parseRequestHead(bytes.left(door.headLength));
        request.head) {
        const QString language = pageLanguage(request.head->acceptLanguage);
        if (language != QLatin1String("en") && language != QLatin1String("ja"))
            violated("a page is in English or Japanese");
    }
    if (door.headLength > bytes.size() || door.headLength > kMaxRequestHeadBytes)
        violated("an answer is to bytes that came, within the head's limit");
    // Whatever follows the first request changes nothing of its answer.
    if (door.headLength > 0) {
        const QByteArray other =
            bytes.left(door.headLength) + "GET /panel.js HTTP/1.1\r\nHost: evil.example\r\n\r\n";
        const DoorAnswer again = answerDoor(other, served, admission);
        if (again.kind != door.kind || again.bytes != door.bytes)
            violated("a connection is answered by its first request alone");
    }
    const qsizetype headEnd = door.bytes.indexOf("\r\n\r\n");
    if (headEnd < 0)
        violated("an answer has a head");
    const QByteArray head = door.bytes.left(headEnd);
    if (door.kind == DoorAnswer::Kind::Upgrade) {
        const RequestHeadParse request = parseRequestHead(bytes.left(door.headLength));
        if (!asked || !request.head || request.head->path != "/ws" || !isOwnOrigin(*request.head) ||
            !isServedHost(request.head->host, served) || door.bytes.size() != headEnd + 4)
            violated("only the panel's own page gets a WebSocket, and only at /ws");
        return;
    }
    if (!head.contains("\r\nX-Frame-Options: DENY") || !head.contains("frame-ancestors 'none'") ||
        !head.contains("\r\nReferrer-Policy: no-referrer"))
        violated("every answer forbids framing and referrers");
    const qsizetype lengthAt = head.indexOf("\r\nContent-Length: ") + 18;
    const qsizetype length =
        head.mid(lengthAt, head.indexOf("\r\n", lengthAt) - lengthAt).toLongLong();
    const qsizetype body = door.bytes.size() - headEnd - 4;
    const bool headRequest = bytes.startsWith("HEAD ");
    if ((body != length && !(headRequest && body == 0)) ||
        (headRequest && head.startsWith("HTTP/1.1 200") && body != 0))
        violated("an answer's body is as long as it says, and HEAD gets none");
}

// What a frame reader told, as text, and whether it kept to its rules; every third frame
// (from the one the seed chooses) is refused, as frames over a page's rate are.
struct CheckingSink final : FrameReader::Sink
{
    bool frameBegins(const FrameHead &head) override
    {
        after();
        told += "F" + QByteArray::number(static_cast<int>(head.opcode));
        return ++frames % 3 != seed % 3;
    }
    void text(const QByteArray &utf8) override
    {
        after();
        if (utf8.size() > kMaxPanelMessageBytes)
            violated("no message over the limit is read");
        told += "T" + utf8;
    }
    void binary() override
    {
        after();
        told += "B";
    }
    void tooLarge(quint64 bytes) override
    {
        after();
        if (bytes <= static_cast<quint64>(kMaxPanelMessageBytes))
            violated("only a message over the limit is too large");
        told += "L";
    }
    void ping(const QByteArray &payload) override
    {
        after();
        if (payload.size() > 125)
            violated("a ping carries at most 125 bytes");
        told += "P" + payload;
    }
    void closed(quint16) override { end("C"); }
    void broken(const QString &) override { end("X"); }

    void end(const char *what)
    {
        after();
        ended = true;
        told += what;
    }

    void after() const
    {
        if (ended)
            violated("nothing is told after a close or a broken frame");
    }

    int seed = 0;
    int frames = 0;
    bool ended = false;
    QByteArray told;
};

void checkFrames(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const qsizetype step = static_cast<unsigned char>(bytes[0]) + 1;
    const QByteArray frames = bytes.mid(1);
    CheckingSink whole, chunked;
    whole.seed = chunked.seed = static_cast<unsigned char>(bytes[0]);
    FrameReader all(kMaxPanelMessageBytes), inChunks(kMaxPanelMessageBytes);
    all.read(frames, whole);
    for (qsizetype at = 0; at < frames.size(); at += step) {
        inChunks.read(QByteArrayView(frames).sliced(at, std::min(step, frames.size() - at)),
                      chunked);
        if (inChunks.heldBytes() > 14 + 125 + kMaxPanelMessageBytes)
            violated("the reader holds a frame head, a control payload and a message at most");
    }
    if (whole.told != chunked.told)
        violated("frames read in chunks are read as whole");
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
    const QByteArray rest(reinterpret_cast<const char *>(data) + 1,
                          static_cast<qsizetype>(size - 1));
    switch (data[0] % 3) {
    case 0:
        checkMessage(rest);
        break;
    case 1:
        checkDoor(rest);
        break;
    default:
        checkFrames(rest);
        break;
    }
    return 0;
}

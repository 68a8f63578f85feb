// A page's WebSocket frames as the panel reads them, whatever the chunks they arrive in, and
// the frames it sends.

#include "remote/websocket_frames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace relm {
namespace {

// A page's frame: masked, as a page must send it.
QByteArray pageFrame(quint8 first, const QByteArray &payload, quint8 mask = 0x80)
{
    QByteArray f;
    f += char(first);
    const qsizetype n = payload.size();
    if (n < 126) {
        f += char(mask | n);
    } else {
        f += char(mask | 126);
        f += char(n >> 8);
        f += char(n & 0xFF);
    }
    const char key[4] = {0x0f, 0x1e, 0x2d, 0x3c};
    if (mask != 0)
        f.append(key, 4);
    for (qsizetype i = 0; i < n; ++i)
        f += mask != 0 ? char(payload[i] ^ key[i % 4]) : payload[i];
    return f;
}

// Everything the reader tells, in order, as text; frames beginning at a refused number are
// skipped.
struct Recorder final : FrameReader::Sink
{
    bool frameBegins(const FrameHead &head) override
    {
        ++frames;
        events.push_back("frame " + std::to_string(static_cast<int>(head.opcode)));
        return frames != refuse;
    }
    void text(const QByteArray &utf8) override { events.push_back("text " + utf8.toStdString()); }
    void binary() override { events.push_back("binary"); }
    void tooLarge(quint64 bytes) override
    {
        events.push_back("too large " + std::to_string(bytes));
    }
    void ping(const QByteArray &payload) override
    {
        events.push_back("ping " + payload.toStdString());
    }
    void closed(quint16 code) override { events.push_back("closed " + std::to_string(code)); }
    void broken(const QString &) override { events.push_back("broken"); }

    int frames = 0;
    int refuse = 0;
    std::vector<std::string> events;
};

std::vector<std::string> readInSteps(const QByteArray &bytes, qsizetype step, int refuse = 0)
{
    FrameReader reader(16);
    Recorder sink;
    sink.refuse = refuse;
    for (qsizetype at = 0; at < bytes.size(); at += step)
        reader.read(QByteArrayView(bytes).sliced(at, std::min(step, bytes.size() - at)), sink);
    return sink.events;
}

using Events = std::vector<std::string>;

TEST(FrameReaderTest, ReadsMessagesWhateverTheChunks)
{
    const QByteArray bytes = pageFrame(0x81, "hi") + pageFrame(0x01, "ab") + pageFrame(0x89, "p") +
                             pageFrame(0x80, "cd") + pageFrame(0x82, "\x01");
    const Events expected{"frame 1", "text hi",   "frame 1", "frame 9", "ping p",
                          "frame 0", "text abcd", "frame 2", "binary"};
    for (const qsizetype step : {qsizetype(1), qsizetype(3), bytes.size()})
        EXPECT_EQ(readInSteps(bytes, step), expected) << step;
}

// A message over the limit, or one with a frame refused, passes by unread: nothing of it is
// kept, only its length told (a refused one is not told at all).
TEST(FrameReaderTest, SkipsWhatIsTooLargeOrRefused)
{
    const QByteArray large =
        pageFrame(0x01, QByteArray(10, 'a')) + pageFrame(0x80, QByteArray(10, 'b'));
    EXPECT_EQ(readInSteps(large + pageFrame(0x81, "ok"), 4),
              (Events{"frame 1", "frame 0", "too large 20", "frame 1", "text ok"}));
    EXPECT_EQ(
        readInSteps(pageFrame(0x81, "no") + pageFrame(0x89, "x") + pageFrame(0x81, "ok"), 5, 1),
        (Events{"frame 1", "frame 9", "ping x", "frame 1", "text ok"}));
    EXPECT_EQ(readInSteps(pageFrame(0x01, "a") + pageFrame(0x80, "b"), 2, 2),
              (Events{"frame 1", "frame 0"}));
    FrameReader reader(16);
    Recorder sink;
    QByteArray head = pageFrame(0x81, {});
    head[1] = char(0x80 | 127); // 2^40 bytes announced
    head.insert(2, QByteArray::fromHex("0000010000000000"));
    reader.read(head, sink);
    for (int i = 0; i < 100; ++i)
        reader.read(QByteArray(4096, 'x'), sink);
    EXPECT_LE(reader.heldBytes(), 16);
}

TEST(FrameReaderTest, EndsOnACloseOrAFrameNoPageMaySend)
{
    EXPECT_EQ(readInSteps(pageFrame(0x88, QByteArray::fromHex("03e9")) + pageFrame(0x81, "x"), 1),
              (Events{"frame 8", "closed 1001"}));
    EXPECT_EQ(readInSteps(pageFrame(0x88, {}), 1), (Events{"frame 8", "closed 1005"}));
    QByteArray longLength = pageFrame(0x82, {});
    longLength[1] = char(0x80 | 127);
    longLength.insert(2, QByteArray::fromHex("8000000000000000"));
    const QByteArray broken[] = {
        pageFrame(0x81, "x", 0), // not masked
        pageFrame(0xC1, "x"),    // reserved bit
        pageFrame(0x83, "x"),    // unknown opcode
        pageFrame(0x09, "x"),    // control frame in parts
        pageFrame(0x89, QByteArray(126, 'p')),
        pageFrame(0x80, "x"), // continuation of nothing
        pageFrame(0x01, "x") + pageFrame(0x81, "y"),
        pageFrame(0x88, "x"), // close of one byte
        longLength,
    };
    for (const QByteArray &bytes : broken) {
        const Events events = readInSteps(bytes + pageFrame(0x81, "after"), 1);
        EXPECT_EQ(events.back(), "broken") << bytes.toHex().constData();
    }
}

TEST(FrameReaderTest, ServerFramesAndTheHandshakeAnswer)
{
    EXPECT_EQ(serverFrame(FrameOpcode::Text, "hi"), QByteArray::fromHex("81026869"));
    EXPECT_EQ(serverFrame(FrameOpcode::Text, QByteArray(126, 'a')).left(4),
              QByteArray::fromHex("817e007e"));
    EXPECT_EQ(serverFrame(FrameOpcode::Binary, QByteArray(65536, 'a')).left(10),
              QByteArray::fromHex("827f0000000000010000"));
    EXPECT_EQ(closeFrame(4001, QStringLiteral("x")), QByteArray::fromHex("88030fa178"));
    EXPECT_EQ(webSocketAccept("dGhlIHNhbXBsZSBub25jZQ=="),
              QByteArray("s3pPLMBiTxaQ9kYGzzhZRbK+xOo="));
}

} // namespace
} // namespace relm

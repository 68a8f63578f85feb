#pragma once

// The messages a panel page sends over its WebSocket, and the checks every one of them passes
// before the console hears of it. Every message is one JSON object with a "type":
//
//   {"type":"hello","token":"<32 hex digits>"}   ask to operate; without it a page only watches
//                                                (or bring the token in the request: /ws?token=)
//   {"type":"heartbeat"}                         the page is still there (every second)
//   {"type":"speed","train":0,"speed":64}        train 0..2 (X, Y, Z), speed 0..128
//   {"type":"stop","train":1}                    停止
//   {"type":"point","train":2}                   ポイント
//   {"type":"reverse","train":0}                 逆転
//   {"type":"transfer"}                          転送
//   {"type":"reset"}                             リセット
//
// A message over kMaxPanelMessageBytes, not JSON, not an object, with an unknown type, a field
// missing, of the wrong kind, out of range, given twice, or a field the type does not have is
// refused with a reason and changes nothing.

#include <QByteArray>
#include <QString>

#include <optional>

namespace relm {

inline constexpr qsizetype kMaxPanelMessageBytes = 4096;
inline constexpr qsizetype kPanelTokenHexDigits = 32; // 128 bits

enum class PanelCommand { Hello, Heartbeat, Speed, Stop, Point, Reverse, Transfer, Reset };

struct PanelRequest
{
    PanelCommand command = PanelCommand::Heartbeat;
    int train = -1;    // Speed, Stop, Point, Reverse
    int speed = -1;    // Speed
    QByteArray token;  // Hello
};

// The request, or why the message was refused (in the operator's words, for the page to show).
struct PanelParse
{
    std::optional<PanelRequest> request;
    QString error;
};

PanelParse parsePanelMessage(const QByteArray &message);

// Whether text has the form of a token: kPanelTokenHexDigits lower-case hex digits.
bool isPanelToken(const QByteArray &text);

// Whether the request changes anything on the layout (only an operating page may send it).
bool isOperatorCommand(PanelCommand command);

} // namespace relm

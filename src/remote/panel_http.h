#pragma once

// What the panel's front door answers to the request that opens a connection. A connection
// carries one request: the door reads its head, answers, and reads nothing after it, so no
// request ever passes unchecked behind another.
//
// - GET or HEAD of one of the page's three files: the file (HEAD: its head only); the page in
//   the language the request's Accept-Language prefers, when texts are given.
// - A WebSocket request for /ws from the panel's own page (its Origin and Host), with room for
//   the page: the 101 answer, after which the connection is the page's WebSocket. The page may
//   bring the operator's token in the query (/ws?token=...).
// - Anything else: refused with the status and the reason.
//
// Every answer forbids running anything but the panel's own files in it, framing it in another
// site's page, sending a referrer from it, guessing types and caching.

#include "remote/page_texts.h"
#include "remote/request_head.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace relm {

struct DoorAnswer
{
    enum class Kind { NeedMore, Answer, Upgrade };
    Kind kind = Kind::NeedMore;
    QByteArray bytes;         // the whole answer to write
    qsizetype headLength = 0; // the request's head (0: none could be read); after an upgrade,
                              // what follows it is the page's
    QByteArray token;         // Upgrade: the token the page brings, or empty
};

// Whether a page may come in now with the token it brings in its request (empty: none): the
// reason it may not, or nothing.
using PageAdmission = std::function<std::optional<QString>(const QByteArray &token)>;

// The answer to the bytes received so far on a new connection.
DoorAnswer answerDoor(const QByteArray &received, const ServedAt &served,
                      const PageAdmission &admission, const PageTexts *texts = nullptr);

} // namespace relm

#pragma once

#include <QByteArray>

#include <QCoroTask>

#include <chrono>
#include <optional>

#include "upload/UploadTypes.h"

namespace pm {

// What a server answered a request before its body.
struct EarlyAnswer {
  int status = 0;
  QByteArray body;  // at most kEarlyAnswerBodyLimit bytes
};

inline constexpr qsizetype kEarlyAnswerBodyLimit = 64 * 1024;

// Asks the server of `destination` what it says to that request before any of its body: sends the request
// line and header (the destination's method, URL and header fields, "Content-Length: `bodyLength`" and
// "Expect: 100-continue") on a connection of its own, never the body, and reads a final answer that comes
// within `wait`. Nothing is stored: the announced body never follows and the connection is dropped.
//
// A server that refuses a large upload early (S3 on a bad signature) answers and resets the connection
// while Qt is still writing the body, and Qt drops that answer unread; this recovers it. Nothing when the
// server accepts the header (100 Continue), stays silent, or cannot be reached.
QCoro::Task<std::optional<EarlyAnswer>> probeEarlyAnswer(UploadDestination destination, qint64 bodyLength,
                                                         std::chrono::milliseconds wait);

}  // namespace pm

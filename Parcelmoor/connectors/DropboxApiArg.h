#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace pm {

// The "Dropbox-API-Arg" header of a content request: the argument object as compact JSON with its keys in
// sorted order and every "/" written as "\/", then made header-safe. Written by hand rather than with
// QJsonDocument so the bytes are exactly these whatever Qt's writer prefers.
namespace dropboxapiarg {

// Compact JSON of `object`: keys sorted, strings escaped with "\"", "\\", "\/", the short escapes of
// backspace, form feed, newline, return and tab, and "\u00XX" for other control characters. Non-ASCII
// characters stay as they are. Numbers are written as whole numbers when they are whole.
QString json(const QJsonObject& object);

// Every UTF-16 unit above 127 as "\u" and four lower-case hex digits (a character outside the basic plane
// thus becomes its two surrogates), the rest as it is: pure ASCII.
QByteArray headerSafe(const QString& text);

// headerSafe(json(object)). Throws UploadError `rejected` ("Dropbox could not be told where to put this
// file.") when the text is not valid Unicode (a lone surrogate in a file name), which Dropbox could not
// read back.
QByteArray header(const QJsonObject& object);

}  // namespace dropboxapiarg

}  // namespace pm

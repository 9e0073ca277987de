#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

namespace pm {

// Whether a character may stand unescaped in a value.
using AllowedCharacter = bool (*)(char32_t);

// Letters and digits of any script, and "-", ".", "_" and "~": what the token requests of every drive
// leave unescaped.
bool isTokenFormCharacter(char32_t character);

// "name=value" for each field in the map's order, the value percent-encoded: an allowed character stays
// as it is, every other one becomes its UTF-8 bytes as "%XX" (upper-case hex). A value that is not valid
// text (a lone surrogate) contributes nothing after "=".
QStringList formEncodedPairs(const QMap<QString, QString>& fields, AllowedCharacter allowed);

// The body of a token request ("application/x-www-form-urlencoded"): the pairs with the token requests'
// allowed characters, joined with "&", as UTF-8.
QByteArray tokenRequestBody(const QMap<QString, QString>& fields);

}  // namespace pm

#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringView>

#include <exception>
#include <optional>
#include <string>

namespace pm {

// An answer that is not the record we expected. The text names the first field that did not fit.
class JsonDecodingError final : public std::exception {
 public:
  explicit JsonDecodingError(QString text);
  const QString& text() const { return text_; }
  const char* what() const noexcept override { return what_.c_str(); }

 private:
  QString text_;
  std::string what_;
};

// Strict record reading, as the service's answers are read everywhere: a required field must be present
// with its type; an optional field may be absent or null, but a value of another type is an error, never
// a silent default. Each reader throws JsonDecodingError.
QJsonObject decodeJsonObject(const QByteArray& body);
QString requiredString(const QJsonObject& object, QStringView key);
std::optional<QString> optionalString(const QJsonObject& object, QStringView key);
// A whole number that fits in 64 bits (600 and 600.0 both do; 600.5 does not).
qint64 requiredInteger(const QJsonObject& object, QStringView key);
std::optional<qint64> optionalInteger(const QJsonObject& object, QStringView key);
bool requiredBool(const QJsonObject& object, QStringView key);
QJsonObject requiredObject(const QJsonObject& object, QStringView key);

}  // namespace pm

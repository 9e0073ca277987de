#include "DropboxApiArg.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonValue>
#include <QStringList>

#include <limits>

#include "core/UploadError.h"

namespace pm::dropboxapiarg {

namespace {

void appendString(QString& out, const QString& text) {
  out += QLatin1Char('"');
  for (const QChar c : text) {
    switch (c.unicode()) {
      case '"':
        out += QLatin1String("\\\"");
        break;
      case '\\':
        out += QLatin1String("\\\\");
        break;
      case '/':
        out += QLatin1String("\\/");
        break;
      case '\b':
        out += QLatin1String("\\b");
        break;
      case '\f':
        out += QLatin1String("\\f");
        break;
      case '\n':
        out += QLatin1String("\\n");
        break;
      case '\r':
        out += QLatin1String("\\r");
        break;
      case '\t':
        out += QLatin1String("\\t");
        break;
      default:
        // DEL is a control character too, which no header may carry.
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) {
          out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        } else {
          out += c;
        }
    }
  }
  out += QLatin1Char('"');
}

void appendValue(QString& out, const QJsonValue& value);

void appendObject(QString& out, const QJsonObject& object) {
  QStringList keys = object.keys();
  keys.sort();
  out += QLatin1Char('{');
  for (qsizetype i = 0; i < keys.size(); ++i) {
    if (i > 0) out += QLatin1Char(',');
    appendString(out, keys.at(i));
    out += QLatin1Char(':');
    appendValue(out, object.value(keys.at(i)));
  }
  out += QLatin1Char('}');
}

void appendValue(QString& out, const QJsonValue& value) {
  switch (value.type()) {
    case QJsonValue::Object:
      appendObject(out, value.toObject());
      return;
    case QJsonValue::Array: {
      const QJsonArray array = value.toArray();
      out += QLatin1Char('[');
      for (qsizetype i = 0; i < array.size(); ++i) {
        if (i > 0) out += QLatin1Char(',');
        appendValue(out, array.at(i));
      }
      out += QLatin1Char(']');
      return;
    }
    case QJsonValue::String:
      appendString(out, value.toString());
      return;
    case QJsonValue::Bool:
      out += value.toBool() ? QLatin1String("true") : QLatin1String("false");
      return;
    case QJsonValue::Double: {
      // Qt keeps a 64-bit integer exact; offsets past 2^53 must not pass through a double.
      const qint64 whole = value.toInteger(std::numeric_limits<qint64>::min());
      if (whole != std::numeric_limits<qint64>::min()) {
        out += QString::number(whole);
      } else {
        out += QString::number(value.toDouble(), 'g', 17);
      }
      return;
    }
    case QJsonValue::Null:
    case QJsonValue::Undefined:
      out += QLatin1String("null");
      return;
  }
}

}  // namespace

QString json(const QJsonObject& object) {
  QString out;
  appendObject(out, object);
  return out;
}

QByteArray headerSafe(const QString& text) {
  QByteArray out;
  out.reserve(text.size());
  for (const QChar c : text) {
    const char16_t unit = c.unicode();
    if (unit <= 127) {
      out += char(unit);
    } else {
      out += QByteArrayLiteral("\\u") + QByteArray::number(unit, 16).rightJustified(4, '0');
    }
  }
  return out;
}

QByteArray header(const QJsonObject& object) {
  const QString text = json(object);
  if (!text.isValidUtf16()) {
    throw UploadError::rejected(
        QCoreApplication::translate("DropboxUploader", "Dropbox could not be told where to put this file."));
  }
  return headerSafe(text);
}

}  // namespace pm::dropboxapiarg

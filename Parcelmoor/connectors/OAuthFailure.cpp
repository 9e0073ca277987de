#include "OAuthFailure.h"

#include <QCoreApplication>

namespace pm {

namespace {

QString description(OAuthFailure::Kind kind, const QString& text) {
  switch (kind) {
    case OAuthFailure::Kind::refused:
      return text;
    case OAuthFailure::Kind::notConfigured:
      return QStringLiteral("no OAuth client identifier is configured for this provider");
    case OAuthFailure::Kind::noAnswer:
      return QStringLiteral("no usable answer arrived from the sign-in");
    case OAuthFailure::Kind::badResponse:
      return QStringLiteral("the sign-in answer could not be used");
  }
  return {};
}

}  // namespace

OAuthFailure::OAuthFailure(Kind kind, QString text)
    : kind_(kind), text_(std::move(text)), what_(description(kind_, text_).toStdString()) {}

QString signInRefusedText() { return QCoreApplication::translate("OAuthFailure", "The sign-in was refused."); }

}  // namespace pm

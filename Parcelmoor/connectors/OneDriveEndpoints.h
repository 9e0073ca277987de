#pragma once

#include <QString>
#include <QUrl>

namespace pm {

// Where OneDrive's services are reached; tests point both at a local fake.
struct OneDriveEndpoints {
  QUrl graph = QUrl(QStringLiteral("https://graph.microsoft.com/v1.0/"));  // Microsoft Graph v1.0
  QUrl login = QUrl(QStringLiteral("https://login.microsoftonline.com"));  // the identity platform

  // The Graph base text followed by `relative` (already encoded as the request needs it), parsed the
  // tolerant way: a space still in it is written as %20, "%XX" sequences stay as they are.
  QUrl graphUrl(const QString& relative) const;
  // The identity platform's `path` ("/common/oauth2/v2.0/token") below the login base.
  QUrl loginUrl(const QString& path) const;
};

}  // namespace pm

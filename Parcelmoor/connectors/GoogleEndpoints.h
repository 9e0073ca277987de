#pragma once

#include <QString>
#include <QUrl>

namespace pm {

// Where Google's services are reached; tests point each at a local fake.
struct GoogleEndpoints {
  QUrl api = QUrl(QStringLiteral("https://www.googleapis.com"));        // Drive v3 and uploads
  QUrl accounts = QUrl(QStringLiteral("https://accounts.google.com"));  // the consent page
  QUrl token = QUrl(QStringLiteral("https://oauth2.googleapis.com"));   // code exchange and renewal

  // `base` with `path` appended to its own path ("/drive/v3/" + "files?q=…" keeps the query).
  static QUrl resolve(const QUrl& base, const QString& path);
};

}  // namespace pm

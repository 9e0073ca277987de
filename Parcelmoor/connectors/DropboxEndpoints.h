#pragma once

#include <QString>
#include <QUrl>

namespace pm {

// Where Dropbox is reached; tests point each at a local fake.
struct DropboxEndpoints {
  QUrl api = QUrl(QStringLiteral("https://api.dropboxapi.com"));          // RPC calls and the token endpoint
  QUrl content = QUrl(QStringLiteral("https://content.dropboxapi.com"));  // file data
  QUrl authorize = QUrl(QStringLiteral("https://www.dropbox.com"));       // the consent page
};

}  // namespace pm

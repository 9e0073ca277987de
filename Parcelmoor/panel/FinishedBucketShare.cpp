#include "FinishedBucketShare.h"

#include <QClipboard>
#include <QCoreApplication>

#include "core/UserNotifications.h"
#include "upload/UploadTypes.h"

namespace pm {

namespace {

QString tr(const char* text) {
  return QCoreApplication::translate("FinishedBucketShare", text);
}

void replaceText(QClipboard& clipboard, const QString& text) {
  clipboard.clear();
  clipboard.setText(text);
}

}  // namespace

void shareFinishedBucket(const ResponseItem& result, QClipboard& clipboard,
                         UserNotifications* notifications) {
  QString body;
  switch (result.type) {
    case ResponseItem::Kind::copied:
      replaceText(clipboard, result.url.toString(QUrl::FullyEncoded));
      body = tr("The share link for your box is on the clipboard.");
      break;
    case ResponseItem::Kind::copiedBox:
      replaceText(clipboard, result.url.toString(QUrl::FullyEncoded) + QLatin1Char('\n') +
                                 tr("Password: %1").arg(result.password));
      body = tr("The share link and its password are on the clipboard.");
      break;
    case ResponseItem::Kind::done:
      body = tr("Your box is on its way.");
      break;
  }
  if (notifications) notifications->postUserNotification(tr("Upload complete"), body);
}

}  // namespace pm

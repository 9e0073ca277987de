#include "FinishedBucketShare.h"

#include <QClipboard>
#include <QCoreApplication>

#include "core/UserNotifications.h"
#include "platform/Log.h"
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

// What arrived is shared all the same; the user learns how much did not, the log which files.
QString lackingSentence(const ResponseItem& result) {
  const qint64 missing = result.missingCount();
  qCWarning(lcUpload, "the share lacks %lld files", missing);
  for (const QString& path : result.missingFiles)
    qCWarning(lcUpload, "not in the share: %s", qUtf8Printable(privateValue(path)));
  if (missing == 1) return tr("1 file is missing from the box.");
  return tr("%1 files are missing from the box.").arg(missing);
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
  if (result.missingCount() > 0) {
    body += QLatin1Char(' ') + lackingSentence(result);
    if (notifications) notifications->postUserNotification(tr("Upload incomplete"), body);
    return;
  }
  if (notifications) notifications->postUserNotification(tr("Upload complete"), body);
}

}  // namespace pm

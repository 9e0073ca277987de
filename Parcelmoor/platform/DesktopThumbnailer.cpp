#include "DesktopThumbnailer.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QUrl>

#include <QCoroSignal>

#include "DBusCall.h"
#include "Log.h"

namespace pm {

namespace {

const QString kObjectPath = QStringLiteral("/org/freedesktop/thumbnails/Thumbnailer1");
const QString kInterface = QStringLiteral("org.freedesktop.thumbnails.Thumbnailer1");

// What is left of `bound` since `clock` started; never negative.
std::chrono::milliseconds remaining(const QElapsedTimer& clock, std::chrono::milliseconds bound) {
  return std::max(std::chrono::milliseconds(0), bound - std::chrono::milliseconds(clock.elapsed()));
}

}  // namespace

const QString DesktopThumbnailer::kService = QStringLiteral("org.freedesktop.thumbnails.Thumbnailer1");

DesktopThumbnailer::DesktopThumbnailer(QDBusConnection connection, QString service, QObject* parent)
    : QObject(parent), connection_(std::move(connection)), service_(std::move(service)) {
  connection_.connect(service_, kObjectPath, kInterface, QStringLiteral("Ready"), this,
                      SLOT(onReady(uint, QStringList)));
  connection_.connect(service_, kObjectPath, kInterface, QStringLiteral("Error"), this,
                      SLOT(onError(uint, QStringList, int, QString)));
  connection_.connect(service_, kObjectPath, kInterface, QStringLiteral("Finished"), this,
                      SLOT(onFinished(uint)));
}

DesktopThumbnailer& DesktopThumbnailer::shared() {
  static DesktopThumbnailer* instance = new DesktopThumbnailer();
  return *instance;
}

DesktopThumbnailer::Flavor DesktopThumbnailer::flavorFor(int pixelSize) {
  return pixelSize <= 128 ? Flavor::normal : Flavor::large;
}

QCoro::Task<bool> DesktopThumbnailer::renders(QString mimeType, std::chrono::milliseconds bound) {
  if (!mimeTypes_) {
    const QDBusMessage call =
        QDBusMessage::createMethodCall(service_, kObjectPath, kInterface, QStringLiteral("GetSupported"));
    const QDBusMessage reply = co_await callDBus(connection_, call, bound);
    QSet<QString> types;
    if (reply.type() == QDBusMessage::ReplyMessage && reply.arguments().size() == 2) {
      const QStringList schemes = reply.arguments().at(0).toStringList();
      const QStringList mimes = reply.arguments().at(1).toStringList();
      for (qsizetype i = 0; i < std::min(schemes.size(), mimes.size()); ++i) {
        if (schemes.at(i) == QLatin1String("file")) types.insert(mimes.at(i));
      }
    } else if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply")) {
      // A service that is still starting on a busy machine is there: the next picture asks again.
      qCDebug(lcApp) << "The desktop thumbnailer did not answer in time";
      co_return false;
    } else {
      qCDebug(lcApp) << "No desktop thumbnailer answers:" << reply.errorName();
    }
    // Also when nobody answered: asking again for every file would only slow the pictures down.
    if (!mimeTypes_) mimeTypes_ = std::move(types);
  }
  co_return mimeTypes_->contains(mimeType);
}

QCoro::Task<bool> DesktopThumbnailer::make(QString path, QString mimeType, Flavor flavor,
                                           std::chrono::milliseconds bound) {
  QElapsedTimer clock;
  clock.start();
  const bool rendered = co_await renders(mimeType, bound);
  if (!rendered) co_return false;

  QDBusMessage call = QDBusMessage::createMethodCall(service_, kObjectPath, kInterface, QStringLiteral("Queue"));
  const QString uri = QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded());
  call << QStringList{uri} << QStringList{mimeType}
       << QString::fromLatin1(flavor == Flavor::normal ? "normal" : "large") << QStringLiteral("default") << 0u;
  const QDBusMessage reply = co_await callDBus(connection_, call, remaining(clock, bound));
  if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
    qCDebug(lcApp) << "The desktop thumbnailer refused a request:" << reply.errorName();
    co_return false;
  }
  // The reply comes before the request's signals on the same connection, so none of them is missed.
  const uint handle = reply.arguments().at(0).toUInt();
  pending_.insert(handle, Pending{});
  while (!pending_.value(handle).finished) {
    const std::chrono::milliseconds left = remaining(clock, bound);
    if (left.count() == 0) break;
    co_await qCoro(this, &DesktopThumbnailer::requestFinished, left);
  }
  const bool made = pending_.take(handle).made;
  co_return made;
}

void DesktopThumbnailer::onReady(uint handle, const QStringList& /*uris*/) {
  const auto found = pending_.find(handle);
  if (found != pending_.end()) found->made = true;
}

void DesktopThumbnailer::onError(uint handle, const QStringList& /*failedUris*/, int code, const QString& message) {
  if (pending_.contains(handle)) qCDebug(lcApp) << "The desktop thumbnailer failed:" << code << message;
}

void DesktopThumbnailer::onFinished(uint handle) {
  const auto found = pending_.find(handle);
  if (found == pending_.end()) return;
  found->finished = true;
  Q_EMIT requestFinished(handle);
}

}  // namespace pm

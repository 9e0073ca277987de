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
  for (const Flavor flavor : {Flavor::normal, Flavor::large, Flavor::xLarge}) {
    if (pixelSize <= pixelsOf(flavor)) return flavor;
  }
  return Flavor::xxLarge;
}

int DesktopThumbnailer::pixelsOf(Flavor flavor) {
  switch (flavor) {
    case Flavor::normal:
      return 128;
    case Flavor::large:
      return 256;
    case Flavor::xLarge:
      return 512;
    case Flavor::xxLarge:
      return 1024;
  }
  return 128;
}

QString DesktopThumbnailer::nameOf(Flavor flavor) {
  switch (flavor) {
    case Flavor::normal:
      return QStringLiteral("normal");
    case Flavor::large:
      return QStringLiteral("large");
    case Flavor::xLarge:
      return QStringLiteral("x-large");
    case Flavor::xxLarge:
      return QStringLiteral("xx-large");
  }
  return QStringLiteral("normal");
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
                                           std::chrono::milliseconds bound, CancelTokenPtr cancel) {
  const auto cancelled = [&cancel] { return cancel && cancel->isCancelled(); };
  QElapsedTimer clock;
  clock.start();
  const bool rendered = co_await renders(mimeType, bound);
  if (!rendered || cancelled()) co_return false;

  QDBusMessage call = QDBusMessage::createMethodCall(service_, kObjectPath, kInterface, QStringLiteral("Queue"));
  const QString uri = QString::fromUtf8(QUrl::fromLocalFile(path).toEncoded());
  call << QStringList{uri} << QStringList{mimeType}
       << nameOf(flavor) << QStringLiteral("default") << 0u;
  ++queueing_;
  const QDBusMessage reply = co_await callDBus(connection_, call, remaining(clock, bound));
  const bool answered = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
  const uint handle = answered ? reply.arguments().at(0).toUInt() : 0;
  if (answered) pending_.insert(handle, early_.take(handle));
  if (--queueing_ == 0) early_.clear();
  if (!answered) {
    qCDebug(lcApp) << "The desktop thumbnailer refused a request:" << reply.errorName();
    co_return false;
  }

  Waker waker;
  connect(this, &DesktopThumbnailer::requestFinished, &waker, [&waker, handle](uint finished) {
    if (finished == handle) Q_EMIT waker.woke();
  });
  if (cancel) connect(cancel.get(), &CancelToken::cancelled, &waker, &Waker::woke);
  while (!pending_.value(handle).finished && !cancelled()) {
    const std::chrono::milliseconds left = remaining(clock, bound);
    if (left.count() == 0) break;
    co_await qCoro(&waker, &Waker::woke, left);
  }
  const Pending outcome = pending_.take(handle);
  if (cancelled() && !outcome.finished) withdraw(handle);
  co_return outcome.made && !cancelled();
}

void DesktopThumbnailer::withdraw(uint handle) {
  QDBusMessage call = QDBusMessage::createMethodCall(service_, kObjectPath, kInterface, QStringLiteral("Dequeue"));
  call << handle;
  // Nothing waits for the answer: a request the service already finished is no longer its to withdraw.
  connection_.call(call, QDBus::NoBlock);
}

void DesktopThumbnailer::onReady(uint handle, const QStringList& /*uris*/) {
  if (const auto found = pending_.find(handle); found != pending_.end()) {
    found->made = true;
  } else if (queueing_ > 0) {
    early_[handle].made = true;
  }
}

void DesktopThumbnailer::onError(uint handle, const QStringList& /*failedUris*/, int code, const QString& message) {
  if (pending_.contains(handle)) qCDebug(lcApp) << "The desktop thumbnailer failed:" << code << message;
}

void DesktopThumbnailer::onFinished(uint handle) {
  const auto found = pending_.find(handle);
  if (found == pending_.end()) {
    if (queueing_ > 0) early_[handle].finished = true;
    return;
  }
  found->finished = true;
  Q_EMIT requestFinished(handle);
}

}  // namespace pm

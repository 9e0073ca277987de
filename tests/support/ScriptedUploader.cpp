#include "ScriptedUploader.h"

#include <QCoroSignal>
#include <QNetworkAccessManager>
#include <QTimer>

namespace pm::test {

ScriptedUploader::ScriptedUploader(QNetworkAccessManager& network) : BucketUploader(network) {}

void ScriptedUploader::release(const QString& relativePath) {
  held.remove(relativePath);
  Q_EMIT released(relativePath);
}

void ScriptedUploader::releaseAll() {
  releasedAll_ = true;
  const QSet<QString> all = std::exchange(held, {});
  for (const QString& path : all) Q_EMIT released(path);
}

QCoro::Task<Registration> ScriptedUploader::registerUnits(QList<UploadUnit> units) {
  registered.append(units);
  co_await sleepFor(std::chrono::milliseconds(0));
  if (registerFailure) throw *registerFailure;
  if (registerScript) co_return registerScript(units);
  Registration registration;
  for (const UploadUnit& unit : units) {
    registration.destinations.append(UploadDestination{unit.id, QUrl(QStringLiteral("http://127.0.0.1:9/u")), {}, {}});
  }
  co_return registration;
}

QCoro::Task<> ScriptedUploader::upload(UploadUnit unit, UploadDestination, ProgressCallback progress,
                                       CancelTokenPtr cancel) {
  started.append(unit.relativePath);
  ++inFlight;
  maxInFlight = std::max(maxInFlight, inFlight);
  struct Done {
    ScriptedUploader* self;
    QString path;
    ~Done() {
      --self->inFlight;
      self->finished.append(path);
    }
  } done{this, unit.relativePath};
  if (onStart) onStart(unit, progress);

  if (held.contains(unit.relativePath) && !releasedAll_) {
    // Wake on release of this path or on cancellation, whichever comes first.
    Waker waker;
    QObject context;
    connect(this, &ScriptedUploader::released, &context, [&waker, path = unit.relativePath](const QString& p) {
      if (p == path) Q_EMIT waker.woke();
    });
    if (cancel) connect(cancel.get(), &CancelToken::cancelled, &waker, &Waker::woke);
    if (!(cancel && cancel->isCancelled())) co_await qCoro(&waker, &Waker::woke);
  } else {
    co_await sleepFor(std::chrono::milliseconds(0));
  }
  if (cancel && cancel->isCancelled()) throw UploadError::cancelled();
  if (const auto failure = failing.constFind(unit.relativePath); failure != failing.constEnd()) throw *failure;
  if (progress) progress(1.0);
}

QCoro::Task<> ScriptedUploader::withdraw(QList<UploadUnit> units) {
  withdrawn.append(units);
  co_return;
}

QCoro::Task<ResponseItem> ScriptedUploader::finalize() {
  ++finalizeCalls;
  co_await sleepFor(std::chrono::milliseconds(0));
  if (!finalizeFailures.isEmpty()) throw finalizeFailures.takeFirst();
  if (!finalizeResults.isEmpty()) co_return finalizeResults.takeFirst();
  co_return ResponseItem::done();
}

}  // namespace pm::test

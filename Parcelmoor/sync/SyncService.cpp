#include "SyncService.h"

#include <QJsonObject>

#include "core/JsonDecoding.h"
#include "core/ParcelmoorAPI.h"
#include "core/UploadError.h"
#include "platform/Log.h"
#include "sync/SealedEnvelope.h"
#include "sync/StrictBase64.h"
#include "sync/SyncMerge.h"
#include "sync/SyncStore.h"

namespace pm {

namespace {

const QString kPath = QStringLiteral("sync/uploaders");

// Sealing and opening stretch the key; an envelope may ask for many rounds, so neither blocks the
// main thread.
QCoro::Task<QByteArray> sealOffThread(SyncPayload payload, QString key) {
  QCoro::Task<QByteArray> sealing = runOnWorker(
      [payload = std::move(payload), key = std::move(key)] { return SyncStore::seal(payload, key); });
  co_return co_await std::move(sealing);
}

QCoro::Task<SyncPayload> openOffThread(QByteArray envelope, QString key) {
  QCoro::Task<SyncPayload> opening = runOnWorker(
      [envelope = std::move(envelope), key = std::move(key)] { return SyncStore::open(envelope, key); });
  co_return co_await std::move(opening);
}

// Opening and sealing run off the main thread and take no token: a cancellation while they ran ends the
// operation before it changes anything more.
void throwIfCancelled(const CancelTokenPtr& cancel) {
  if (cancel && cancel->isCancelled()) throw UploadError::cancelled();
}

}  // namespace

SyncService::SyncService(SyncStore& store, ParcelmoorAPI& api) : store_(store), api_(api) {}

QCoro::Task<SyncService::Head> SyncService::fetchHead(CancelTokenPtr cancel) {
  const QByteArray body = co_await api_.authorizedRequest(kPath, "GET", std::nullopt, cancel);
  const QJsonObject object = decodeJsonObject(body);
  Head head;
  head.blob = optionalString(object, u"blob");
  head.version = requiredInteger(object, u"version");
  co_return head;
}

QCoro::Task<std::optional<SyncPayload>> SyncService::openCopy(Head head, QString key) {
  if (!head.blob) co_return std::nullopt;
  const std::optional<QByteArray> envelope = strictBase64Decode(*head.blob);
  if (!envelope) co_return std::nullopt;
  co_return co_await openOffThread(*envelope, key);
}

QCoro::Task<std::optional<qint64>> SyncService::pull(QString key, CancelTokenPtr cancel) {
  const Head head = co_await fetchHead(cancel);
  const std::optional<SyncPayload> remote = co_await openCopy(head, key);
  if (!remote) co_return std::nullopt;
  throwIfCancelled(cancel);

  const SyncPayload merged = merge(store_.localPayload(), *remote);
  store_.apply(merged);
  if (hasSameContent(merged, *remote)) co_return head.version;

  qCDebug(lcSync, "differs in %s",
          qUtf8Printable(differingParts(merged, *remote).join(QStringLiteral(", "))));
  const QByteArray sealed = co_await sealOffThread(merged, key);
  const qint64 version = co_await put(sealed, head.version, cancel);
  qCInfo(lcSync, "stored the merge as version %lld", qlonglong(version));
  co_return version;
}

QCoro::Task<qint64> SyncService::push(QString key, CancelTokenPtr cancel) {
  co_return co_await store(std::move(key), std::move(cancel), OtherKey::leave);
}

QCoro::Task<qint64> SyncService::replace(QString key, CancelTokenPtr cancel) {
  co_return co_await store(std::move(key), std::move(cancel), OtherKey::replace);
}

QCoro::Task<qint64> SyncService::store(QString key, CancelTokenPtr cancel, OtherKey otherKey) {
  // Collected first: settings that cannot be read now are not pushed, and nothing is asked of the service.
  SyncPayload local = store_.localPayload();
  const Head head = co_await fetchHead(cancel);
  // The push replaces the service's copy, but what that copy holds unread here goes back unchanged. No
  // envelope at all is replaced whole; a copy under another key only when asked to; one that opens to
  // settings this version cannot read at all never.
  try {
    const std::optional<SyncPayload> remote = co_await openCopy(head, key);
    if (remote) local.unread = remote->unread;
  } catch (const PMRS1::Error& error) {
    const bool replaceable = error.failure() == PMRS1::Failure::notAnEnvelope ||
                             (error.failure() == PMRS1::Failure::wrongKey && otherKey == OtherKey::replace);
    if (!replaceable) throw;
  }
  throwIfCancelled(cancel);
  const QByteArray sealed = co_await sealOffThread(local, key);
  const qint64 version = co_await put(sealed, head.version, cancel);
  qCInfo(lcSync, "pushed this computer's connections as version %lld", qlonglong(version));
  co_return version;
}

QCoro::Task<bool> SyncService::opensCopy(QString key, CancelTokenPtr cancel) {
  const Head head = co_await fetchHead(cancel);
  bool opens = true;
  try {
    co_await openCopy(head, key);
  } catch (const PMRS1::Error& error) {
    // A copy that is no envelope is sealed under nobody's key: pushes replace it whole.
    if (error.failure() == PMRS1::Failure::keyPreparationFailed) throw;
    opens = error.failure() != PMRS1::Failure::wrongKey;
  }
  throwIfCancelled(cancel);
  co_return opens;
}

QCoro::Task<qint64> SyncService::put(QByteArray envelope, qint64 version, CancelTokenPtr cancel) {
  const QJsonObject body{{QStringLiteral("blob"), QString::fromLatin1(envelope.toBase64())},
                         {QStringLiteral("version"), version}};
  const QByteArray answer = co_await api_.authorizedRequest(kPath, "PUT", QJsonValue(body), cancel);
  co_return requiredInteger(decodeJsonObject(answer), u"version");
}

}  // namespace pm

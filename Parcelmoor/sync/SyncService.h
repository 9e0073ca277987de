#pragma once

#include <QString>

#include <QCoroTask>

#include <optional>

#include "platform/Async.h"
#include "sync/SyncPayload.h"

namespace pm {

class ParcelmoorAPI;
class SyncStore;

// The service's one sealed copy of the account's synced settings ("sync/uploaders"), with its version.
// A pull opens it, merges it into this computer's settings and stores the merge back when it differs; a
// push replaces it with this computer's settings. Every PUT carries the version read just before, so the
// service can refuse a copy that another computer replaced meanwhile; nothing here retries. Main thread.
class SyncService {
 public:
  struct Head {
    std::optional<QString> blob;  // Base64 of the envelope; nothing when the service holds no copy
    qint64 version = 0;
  };

  SyncService(SyncStore& store, ParcelmoorAPI& api);

  // Throws the service client's errors and JsonDecodingError.
  QCoro::Task<Head> fetchHead(CancelTokenPtr cancel = {});
  // Nothing when the service holds no usable copy (none, or not Base64); else the version after the pull.
  // Throws the service client's errors, JsonDecodingError, PMRS1::Error when the copy does not open (before
  // anything is applied), SyncStore::SettingsUnreadable, SyncStore::CredentialsUnreadable, the errors of
  // sealing, and UploadError::cancelled when `cancel` fires.
  QCoro::Task<std::optional<qint64>> pull(QString key, CancelTokenPtr cancel = {});
  // Stores this computer's settings as the copy, with whatever the copy held that this version cannot
  // read; returns its new version. A copy sealed under another key is the other computers' settings, which
  // this key cannot weigh: it is left alone (PMRS1::Error wrongKey), and so is one that opens but holds no
  // payload this version reads (unreadablePayload). Throws as `pull` does.
  QCoro::Task<qint64> push(QString key, CancelTokenPtr cancel = {});
  // As `push`, but a copy sealed under another key is replaced whole: only for a computer that was just
  // handed `key` by one already in sync, when what the service holds does not open with it.
  QCoro::Task<qint64> replace(QString key, CancelTokenPtr cancel = {});
  // Whether `key` is the one the service's copy is sealed under, read and changed nowhere: false only for
  // a copy under another key; true when there is no copy (nothing under another key to lose), or it
  // opens, also to settings this version cannot read. Throws the service client's errors,
  // JsonDecodingError, PMRS1::Error keyPreparationFailed and UploadError::cancelled.
  QCoro::Task<bool> opensCopy(QString key, CancelTokenPtr cancel = {});

 private:
  enum class OtherKey { leave, replace };
  QCoro::Task<qint64> store(QString key, CancelTokenPtr cancel, OtherKey otherKey);
  // The copy `head` carries, opened with `key`; nothing when there is none or it is not Base64.
  static QCoro::Task<std::optional<SyncPayload>> openCopy(Head head, QString key);
  QCoro::Task<qint64> put(QByteArray envelope, qint64 version, CancelTokenPtr cancel);

  SyncStore& store_;
  ParcelmoorAPI& api_;
};

}  // namespace pm

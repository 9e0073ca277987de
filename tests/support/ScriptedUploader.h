#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <functional>
#include <optional>

#include "upload/BucketUploader.h"

namespace pm::test {

// An uploader whose every answer the test decides: registration results, per-file failures, transfers
// held open until released, and the results of finishing. It counts how many transfers run at once.
class ScriptedUploader final : public BucketUploader {
  Q_OBJECT

 public:
  explicit ScriptedUploader(QNetworkAccessManager& network);

  // Registration: by default every unit gets a destination. `registerScript` may replace the answer.
  std::function<Registration(const QList<UploadUnit>&)> registerScript;
  std::optional<UploadError> registerFailure;
  // Transfers: by default each ends at once with success. Units whose relative path is in `failing` fail
  // with that error; paths in `held` wait until release() names them (or releaseAll()).
  QHash<QString, UploadError> failing;
  QSet<QString> held;
  QList<ResponseItem> finalizeResults;  // taken from the front; empty → done
  QList<UploadError> finalizeFailures;  // taken from the front before results
  bool removalAllowed = true;

  void release(const QString& relativePath);
  void releaseAll();

  QList<QList<UploadUnit>> registered;  // every batch, in order
  QList<QString> started;               // relative paths, in start order
  QList<QString> finished;              // relative paths that ended (any way)
  QList<UploadUnit> withdrawn;
  int finalizeCalls = 0;
  int inFlight = 0;
  int maxInFlight = 0;
  std::function<void(const UploadUnit&, const ProgressCallback&)> onStart;

  bool allowsRemoval() const override { return removalAllowed; }
  QCoro::Task<Registration> registerUnits(QList<UploadUnit> units) override;
  QCoro::Task<> upload(UploadUnit unit, UploadDestination destination, ProgressCallback progress,
                       CancelTokenPtr cancel) override;
  QCoro::Task<> withdraw(QList<UploadUnit> units) override;
  QCoro::Task<ResponseItem> finalize() override;

 Q_SIGNALS:
  void released(const QString& relativePath);

 private:
  bool releasedAll_ = false;
};

}  // namespace pm::test

#pragma once

#include <QHash>
#include <QList>

#include <functional>
#include <memory>

#include "model/ConnectionChecks.h"
#include "platform/Async.h"

namespace pm::settings::test {

// Connection tests that answer what a test says: `failures` by kind (absent: success), held back while
// `holding` until release(). Records every connection it was asked about.
class ScriptedChecks final : public ConnectionChecks {
 public:
  QHash<UploaderConfig::Kind, QString> failures;
  bool holding = false;
  QList<UploaderConfig> asked;
  // Runs as each test starts, before anything is answered.
  std::function<void(const UploaderConfig&)> onTest;

  void release() { Q_EMIT gate_->woke(); }

  QCoro::Task<std::optional<QString>> test(UploaderConfig config) override {
    asked.append(config);
    if (onTest) onTest(config);
    if (holding) co_await qCoro(gate_.get(), &Waker::woke);
    const auto found = failures.constFind(config.kind);
    if (found == failures.constEnd()) co_return std::nullopt;
    co_return *found;
  }

 private:
  std::unique_ptr<Waker> gate_ = std::make_unique<Waker>();
};

}  // namespace pm::settings::test

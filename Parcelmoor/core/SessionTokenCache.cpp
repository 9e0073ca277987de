#include "SessionTokenCache.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <QCoroFuture>

namespace pm {

SessionTokenCache::SessionTokenCache(const Keychain& keychain, QString account, QObject* parent)
    : QObject(parent), keychain_(keychain), account_(std::move(account)) {}

SessionTokenCache::~SessionTokenCache() {
  for (QFuture<Read>& read : overtaken_) read.waitForFinished();
  if (reading_) reading_->waitForFinished();
}

QCoro::Task<std::optional<QString>> SessionTokenCache::load() {
  const QPointer<SessionTokenCache> self(this);
  for (;;) {
    // A copy: QCoro's promise moves from what it is given, and the kept token must stay.
    if (known_) co_return Known(*known_);
    startReadUnlessCurrent();
    const QFuture<Read> reading = *reading_;
    const quint64 generation = readingGeneration_;
    const Read found = co_await reading;
    if (!self) co_return found.text;
    if (generation != generation_) continue;  // remembered or forgotten meanwhile: the read may be older
    if (found.answered) {
      known_ = found.text;
    } else {
      // A keychain that did not answer (locked, or its service not up yet) is asked again next time.
      reading_.reset();
    }
    co_return found.text;
  }
}

void SessionTokenCache::readAhead() {
  if (!known_) startReadUnlessCurrent();
}

void SessionTokenCache::startReadUnlessCurrent() {
  if (reading_ && readingGeneration_ == generation_) return;
  overtaken_.removeIf([](const QFuture<Read>& read) { return read.isFinished(); });
  if (reading_ && !reading_->isFinished()) overtaken_.append(*reading_);
  // The shared pool: the read waits for the Secret Service's answer, which comes in milliseconds.
  const Keychain& keychain = keychain_;
  reading_ = QtConcurrent::run([&keychain, account = account_] { return lookupKeychainString(keychain, account); });
  readingGeneration_ = generation_;
}

void SessionTokenCache::remember(std::optional<QString> token) {
  ++generation_;
  known_ = std::move(token);
}

void SessionTokenCache::forget() {
  ++generation_;
  known_.reset();
}

}  // namespace pm

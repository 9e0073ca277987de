#include "UploadSoundPlayer.h"

#include <algorithm>

#include "platform/SharedDefaults.h"
#include "platform/SoundPlayer.h"
#include "upload/BucketStore.h"
#include "upload/UploadSession.h"

namespace pm {

UploadSoundPlayer::UploadSoundPlayer(SharedDefaults& defaults, SoundPlayer& sounds, QObject* parent)
    : QObject(parent), defaults_(defaults), sounds_(sounds) {}

void UploadSoundPlayer::setSession(std::shared_ptr<UploadSession> session) {
  if (session == session_) return;
  for (const QMetaObject::Connection& connection : std::as_const(connections_)) disconnect(connection);
  connections_.clear();
  session_ = std::move(session);
  // A new session is a fresh start: what is already true there plays at once.
  conditions_ = {};
  if (session_) {
    connections_ << connect(&session_->bucket(), &Bucket::itemsChanged, this, [this] {
      followItems();
      evaluate();
    });
    connections_ << connect(session_.get(), &UploadSession::phaseChanged, this, &UploadSoundPlayer::evaluate);
    connections_ << connect(session_.get(), &UploadSession::workChanged, this, &UploadSoundPlayer::evaluate);
  }
  followItems();
  evaluate();
}

void UploadSoundPlayer::followItems() {
  for (const QMetaObject::Connection& connection : std::as_const(itemConnections_)) disconnect(connection);
  itemConnections_.clear();
  if (!session_) return;
  for (const Bucket::ItemPointer& item : session_->bucket().items()) {
    itemConnections_ << connect(item.get(), &BucketItem::stateChanged, this, &UploadSoundPlayer::evaluate);
    itemConnections_ << connect(item.get(), &BucketItem::consentedChanged, this,
                                &UploadSoundPlayer::evaluate);
  }
}

void UploadSoundPlayer::evaluate() {
  std::array<bool, 3> now{};
  if (session_) {
    const QList<Bucket::ItemPointer>& items = session_->bucket().items();
    now[0] = session_->canFinish();
    now[1] = std::any_of(items.begin(), items.end(), [](const Bucket::ItemPointer& item) {
      return item->isSensitive() && !item->consented();
    });
    now[2] = std::any_of(items.begin(), items.end(), [](const Bucket::ItemPointer& item) {
      return item->state().kind() == BucketItem::State::Case::failed;
    });
  }
  const std::array<bool, 3> before = conditions_;
  conditions_ = now;
  constexpr std::array sounds{UploadSound::complete, UploadSound::warning, UploadSound::failed};
  for (std::size_t i = 0; i < sounds.size(); ++i) {
    if (now[i] && !before[i]) play(sounds[i]);
  }
}

void UploadSoundPlayer::play(UploadSound sound) {
  const QVariant stored = defaults_.object(preferenceKey(sound));
  if (stored.typeId() == QMetaType::Bool && !stored.toBool()) return;
  sounds_.play(soundName(sound));
}

}  // namespace pm

#include "UploadSoundPlayer.h"

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
      followItemChange();
      evaluate();
    });
    // One connection for every item, however many the bucket holds.
    connections_ << connect(&session_->bucket(), &Bucket::itemChanged, this, [this](const BucketItem& item) {
      recount(item);
      evaluate();
    });
    connections_ << connect(session_.get(), &UploadSession::phaseChanged, this, &UploadSoundPlayer::evaluate);
    connections_ << connect(session_.get(), &UploadSession::workChanged, this, &UploadSoundPlayer::evaluate);
  }
  followItems();
  evaluate();
}

void UploadSoundPlayer::followItems() {
  marks_.clear();
  marked_ = {};
  followed_ = 0;
  if (!session_) return;
  for (const Bucket::ItemPointer& item : session_->bucket().items()) recount(*item);
  followed_ = session_->bucket().items().size();
}

void UploadSoundPlayer::followItemChange() {
  const Bucket& bucket = session_->bucket();
  const QList<Bucket::ItemPointer>& items = bucket.items();
  // The bucket tells of each batch it adds at its end and of each item it removes, one at a time.
  if (items.size() > followed_) {
    for (qsizetype index = followed_; index < items.size(); ++index) recount(*items.at(index));
  } else if (items.size() < followed_) {
    // Only an item that added to a condition has anything to take back.
    for (auto it = marks_.begin(); it != marks_.end();) {
      if (bucket.item(it.key())) {
        ++it;
        continue;
      }
      for (std::size_t i = 0; i < it->size(); ++i) marked_[i] -= qsizetype((*it)[i]);
      it = marks_.erase(it);
    }
  }
  followed_ = items.size();
}

void UploadSoundPlayer::recount(const BucketItem& item) {
  const std::array<bool, 2> now{item.isSensitive() && !item.consented(),
                                item.state().kind() == BucketItem::State::Case::failed};
  const auto found = marks_.constFind(item.id());
  const std::array<bool, 2> before = found == marks_.cend() ? std::array<bool, 2>{} : *found;
  for (std::size_t i = 0; i < now.size(); ++i) marked_[i] += qsizetype(now[i]) - qsizetype(before[i]);
  if (now == std::array<bool, 2>{})
    marks_.remove(item.id());
  else
    marks_.insert(item.id(), now);
}

void UploadSoundPlayer::evaluate() {
  std::array<bool, 3> now{};
  if (session_) {
    now[0] = session_->canFinish();
    now[1] = marked_[0] > 0;
    now[2] = marked_[1] > 0;
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

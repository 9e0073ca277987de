#pragma once

#include <QHash>
#include <QList>
#include <QObject>

#include <array>
#include <memory>

#include "panel/UploadSound.h"

namespace pm {

class BucketItem;
class SharedDefaults;
class SoundPlayer;
class UploadSession;

// Makes the open session's outcomes heard: all through, an item waiting for consent, an item failed.
// Each sound plays when its condition turns true, and at once when a session is attached with it already
// true; a condition that stays true stays silent.
class UploadSoundPlayer final : public QObject {
  Q_OBJECT

 public:
  // Both must outlive the player.
  UploadSoundPlayer(SharedDefaults& defaults, SoundPlayer& sounds, QObject* parent = nullptr);

  // The session to follow, or null.
  void setSession(std::shared_ptr<UploadSession> session);
  // Plays the outcome's sound unless its preference holds false.
  void play(UploadSound sound);

 private:
  void followItems();
  // Counts the item's part in the conditions again after it changed.
  void recount(const BucketItem& item);
  void evaluate();

  SharedDefaults& defaults_;
  SoundPlayer& sounds_;
  std::shared_ptr<UploadSession> session_;
  QList<QMetaObject::Connection> connections_;
  std::array<bool, 3> conditions_{};
  // What each item adds to the conditions (waiting for consent, failed), and how many items add each: a
  // change of one item costs the same in a bucket of any size. Only items that add something have an
  // entry, so a large batch that uploads cleanly costs nothing here.
  QHash<const BucketItem*, std::array<bool, 2>> marks_;
  std::array<qsizetype, 2> marked_{};
};

}  // namespace pm

#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QUuid>

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
  // Counts every item of the session anew.
  void followItems();
  // Counts what a change of the bucket's items brought: the items added at its end, or an item gone.
  void followItemChange();
  // Counts the item's part in the conditions again after it changed.
  void recount(const BucketItem& item);
  void evaluate();

  SharedDefaults& defaults_;
  SoundPlayer& sounds_;
  std::shared_ptr<UploadSession> session_;
  QList<QMetaObject::Connection> connections_;
  std::array<bool, 3> conditions_{};
  // What each item that adds to a condition adds (waiting for consent, failed), and how many items add
  // each: a change of one item, a batch of new ones or a removal costs the same in a bucket of any size.
  // Only items that add something have an entry, so a large batch that uploads cleanly costs nothing here.
  QHash<QUuid, std::array<bool, 2>> marks_;
  std::array<qsizetype, 2> marked_{};
  // How many items the counts have seen.
  qsizetype followed_ = 0;
};

}  // namespace pm

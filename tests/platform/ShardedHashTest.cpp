#include <QHash>
#include <QRandomGenerator>
#include <QSet>
#include <QUuid>

#include <gtest/gtest.h>

#include "platform/ShardedHash.h"

namespace pm {
namespace {

// Keys of the two kinds the bucket and the upload session keep, n of them, all different.
QList<QUuid> uuidKeys(int n) {
  QList<QUuid> keys;
  for (int i = 0; i < n; ++i) keys.append(QUuid::createUuid());
  return keys;
}
QList<QString> pathKeys(int n) {
  QList<QString> keys;
  for (int i = 0; i < n; ++i) keys.append(QStringLiteral("/home/me/Pictures/file %1.txt").arg(i));
  return keys;
}

// Runs the same inserts, overwrites and removals on a sharded hash and on a plain QHash and compares them
// after every step, then compares what both hold.
template <typename Key>
void matchesAPlainHash(const QList<Key>& keys) {
  ShardedHash<QHash<Key, int>> sharded;
  QHash<Key, int> plain;
  QRandomGenerator random(7);
  for (int step = 0; step < 4 * keys.size(); ++step) {
    const Key& key = keys.at(random.bounded(int(keys.size())));
    switch (random.bounded(4)) {
      case 0:
      case 1:
        sharded.insert(key, step);
        plain.insert(key, step);
        break;
      case 2:
        ASSERT_EQ(sharded.remove(key), plain.remove(key) > 0) << step;
        break;
      case 3:
        ASSERT_EQ(sharded.take(key), plain.take(key)) << step;
        break;
    }
    ASSERT_EQ(sharded.size(), plain.size()) << step;
  }
  for (const Key& key : keys) {
    ASSERT_EQ(sharded.contains(key), plain.contains(key));
    ASSERT_EQ(sharded.value(key, -1), plain.value(key, -1));
    const int* found = std::as_const(sharded).find(key);
    ASSERT_EQ(found != nullptr, plain.contains(key));
    if (found) {
      ASSERT_EQ(*found, plain.value(key));
    }
  }
}

TEST(ShardedHash, HoldsWhatAPlainHashHoldsAfterAnyMixOfChanges) {
  matchesAPlainHash(uuidKeys(5000));
  matchesAPlainHash(pathKeys(5000));
}

TEST(ShardedHash, FindAndSubscriptChangeTheValueInPlace) {
  ShardedHash<QHash<QString, QList<int>>> hash;
  const QString key = QStringLiteral("/a");
  EXPECT_EQ(hash.find(key), nullptr);
  hash[key].append(1);
  hash.find(key)->append(2);
  EXPECT_EQ(hash.value(key), (QList<int>{1, 2}));
  EXPECT_EQ(hash.size(), 1);
}

TEST(ShardedHash, ASetTakesEachKeyOnceAndClearsToNothing) {
  ShardedHash<QSet<QString>> set;
  const QList<QString> keys = pathKeys(1000);
  for (const QString& key : keys) set.insert(key);
  for (const QString& key : keys) set.insert(key);
  EXPECT_EQ(set.size(), keys.size());
  EXPECT_TRUE(set.contains(keys.at(500)));
  EXPECT_TRUE(set.remove(keys.at(500)));
  EXPECT_FALSE(set.remove(keys.at(500)));
  EXPECT_FALSE(set.contains(keys.at(500)));
  set.clear();
  EXPECT_TRUE(set.isEmpty());
  EXPECT_FALSE(set.contains(keys.at(0)));
}

// A part holding far more than its share would rehash far more at once than the split is meant to allow:
// the keys of either kind must spread over every part.
TEST(ShardedHash, KeysOfEitherKindSpreadEvenlyOverTheParts) {
  constexpr int kKeys = 64 * 1024;
  constexpr qsizetype kShare = kKeys / ShardedHash<QSet<QUuid>>::kParts;
  ShardedHash<QSet<QUuid>> uuids;
  for (const QUuid& key : uuidKeys(kKeys)) uuids.insert(key);
  ShardedHash<QSet<QString>> paths;
  for (const QString& key : pathKeys(kKeys)) paths.insert(key);
  EXPECT_LT(uuids.largestPart(), kShare * 3 / 2);
  EXPECT_LT(paths.largestPart(), kShare * 3 / 2);
}

}  // namespace
}  // namespace pm

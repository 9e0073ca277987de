#include <gtest/gtest.h>

#include "upload/ArrivingFiles.h"

namespace pm {
namespace {

QStringList paths(const QString& prefix, int count) {
  QStringList made;
  for (int i = 0; i < count; ++i) made.append(QStringLiteral("/files/%1%2").arg(prefix).arg(i));
  return made;
}

// Slices of these sizes taken from batches of those sizes come out as the batches joined, in order, whether
// the caller still holds its lists or let go of them as soon as they were given.
TEST(ArrivingFiles, SlicesFollowTheBatchesInOrderAcrossTheirEnds) {
  const struct {
    QList<int> batches;
    qsizetype slice;
  } table[] = {
      {{10}, 3}, {{10}, 10}, {{10}, 64}, {{3, 4, 5}, 2}, {{3, 4, 5}, 5}, {{1, 1, 1, 1}, 3}, {{600, 1, 300}, 256},
  };
  for (const auto& row : table) {
    for (const bool callerHolds : {true, false}) {
      ArrivingFiles arriving;
      QList<QStringList> held;
      QStringList expected;
      for (qsizetype b = 0; b < row.batches.size(); ++b) {
        QStringList batch = paths(QStringLiteral("b%1-").arg(b), row.batches.at(b));
        expected.append(batch);
        arriving.append(batch);
        if (callerHolds) held.append(batch);
      }
      EXPECT_EQ(arriving.size(), expected.size());
      EXPECT_EQ(arriving.all(), expected);
      QStringList taken;
      while (!arriving.isEmpty()) {
        const QStringList ahead = arriving.front(row.slice);
        EXPECT_EQ(arriving.front(row.slice), ahead) << "looking ahead took files";
        const QStringList slice = arriving.take(row.slice);
        ASSERT_EQ(slice, ahead);
        ASSERT_FALSE(slice.isEmpty());
        ASSERT_LE(slice.size(), row.slice);
        taken.append(slice);
        EXPECT_EQ(taken.size() + arriving.size(), expected.size());
        EXPECT_EQ(taken + arriving.all(), expected);
      }
      EXPECT_EQ(taken, expected) << row.batches.size() << " batches, slices of " << row.slice;
      EXPECT_TRUE(arriving.take(row.slice).isEmpty());
    }
  }
}

// A batch is kept as the caller's list, shared rather than copied, until all of it has entered; the
// caller's list never changes.
TEST(ArrivingFiles, ABatchIsSharedWithTheCallerUntilItHasEntered) {
  const QStringList batch = paths(QStringLiteral("f"), 10);
  ArrivingFiles arriving;
  arriving.append(batch);
  EXPECT_FALSE(batch.isDetached()) << "the batch was copied";
  arriving.take(4);
  EXPECT_FALSE(batch.isDetached()) << "the batch was copied";
  EXPECT_EQ(batch, paths(QStringLiteral("f"), 10));
  arriving.take(6);
  EXPECT_TRUE(arriving.isEmpty());
  EXPECT_TRUE(batch.isDetached()) << "the batch is still held after it entered";
  EXPECT_EQ(batch, paths(QStringLiteral("f"), 10));
}

TEST(ArrivingFiles, ClearDropsEverythingAndEmptyBatchesAddNothing) {
  ArrivingFiles arriving;
  arriving.append({});
  EXPECT_TRUE(arriving.isEmpty());
  arriving.append(paths(QStringLiteral("a"), 5));
  arriving.append(paths(QStringLiteral("b"), 5));
  arriving.take(2);
  arriving.clear();
  EXPECT_TRUE(arriving.isEmpty());
  EXPECT_EQ(arriving.size(), 0);
  EXPECT_TRUE(arriving.all().isEmpty());
}

}  // namespace
}  // namespace pm

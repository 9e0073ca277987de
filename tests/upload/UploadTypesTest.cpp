#include <gtest/gtest.h>

#include "upload/UploadTypes.h"

namespace pm {
namespace {

TEST(ResponseItem, KindsAreEqualOnlyWithTheSameCaseAndPayload) {
  const QUrl link(QStringLiteral("https://example.com/b/1"));
  EXPECT_EQ(ResponseItem::copied(link), ResponseItem::copied(QUrl(QStringLiteral("https://example.com/b/1"))));
  EXPECT_NE(ResponseItem::copied(link), ResponseItem::copiedBox(link, QString()));
  EXPECT_NE(ResponseItem::copiedBox(link, QStringLiteral("A")), ResponseItem::copiedBox(link, QStringLiteral("B")));
  EXPECT_NE(ResponseItem::done(), ResponseItem::copied(link));
  EXPECT_EQ(ResponseItem::done(), ResponseItem());
}

}  // namespace
}  // namespace pm

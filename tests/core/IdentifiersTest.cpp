#include <gtest/gtest.h>

#include "core/Identifiers.h"

namespace pm {
namespace {

// Stored identifiers are read in their canonical 36-character form, in either letter case, and in no other
// form; text read as bytes and text read as a string give the same answer.
TEST(Identifiers, OnlyTheCanonicalTextIsAnIdentifier) {
  struct Row {
    const char* text;
    const char* canonical;  // nothing: not an identifier
  };
  const Row table[] = {
      {"6F1C3B0E-2D4A-4C55-9E0F-0123456789AB", "6F1C3B0E-2D4A-4C55-9E0F-0123456789AB"},
      {"6f1c3b0e-2d4a-4c55-9e0f-0123456789ab", "6F1C3B0E-2D4A-4C55-9E0F-0123456789AB"},
      {"6f1C3b0E-2D4a-4c55-9E0f-abcdefABCDEF", "6F1C3B0E-2D4A-4C55-9E0F-ABCDEFABCDEF"},
      {"00000000-0000-0000-0000-000000000000", "00000000-0000-0000-0000-000000000000"},
      {"FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF", "FFFFFFFF-FFFF-FFFF-FFFF-FFFFFFFFFFFF"},
      {"{6F1C3B0E-2D4A-4C55-9E0F-0123456789AB}", nullptr},
      {"6F1C3B0E2D4A4C559E0F0123456789AB", nullptr},
      {"6F1C3B0E-2D4A-4C55-9E0F-0123456789A", nullptr},
      {"6F1C3B0E-2D4A-4C55-9E0F-0123456789ABC", nullptr},
      {"6F1C3B0E2-D4A-4C55-9E0F-0123456789AB", nullptr},
      {"6F1C3B0E-2D4A-4C55-9E0F+0123456789AB", nullptr},
      {"6F1C3B0G-2D4A-4C55-9E0F-0123456789AB", nullptr},
      {"6F1C3B0E-2D4A-4C55-9E0F-0123456789A ", nullptr},
      {" 6F1C3B0E-2D4A-4C55-9E0F-0123456789A", nullptr},
      {"6F1C3B0E-2D4A-4C55-9E0F-0123456789A\xc3\xa9", nullptr},
      {"", nullptr},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.text);
    const QString asString = QString::fromUtf8(row.text);
    const std::optional<QUuid> fromString = uuidFromText(asString);
    const std::optional<QUuid> fromBytes = uuidFromText(QLatin1StringView(row.text));
    EXPECT_EQ(fromString, fromBytes);
    if (!row.canonical) {
      EXPECT_EQ(fromString, std::nullopt);
      continue;
    }
    ASSERT_TRUE(fromString);
    EXPECT_EQ(*fromString, QUuid::fromString(asString));
    EXPECT_EQ(uuidText(*fromString), QLatin1String(row.canonical));
  }
}

}  // namespace
}  // namespace pm

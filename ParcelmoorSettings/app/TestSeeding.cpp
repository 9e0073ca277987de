#include "TestSeeding.h"

#include <QByteArray>

#include <optional>

#include "platform/SharedDefaults.h"
#include "platform/SharedNames.h"

namespace pm::settings {

namespace {

std::optional<QByteArray> strictBase64(const QString& text) {
  const QByteArray encoded = text.toUtf8();
  // Unpadded text is no standard Base64 here; the decoder itself would take it.
  if (encoded.size() % 4 != 0) return std::nullopt;
  QByteArray::FromBase64Result decoded =
      QByteArray::fromBase64Encoding(encoded, QByteArray::AbortOnBase64DecodingErrors);
  if (!decoded) return std::nullopt;
  return std::move(decoded.decoded);
}

void seed(SharedDefaults& defaults, const QProcessEnvironment& environment, const QString& variable,
          const char* key) {
  if (!environment.contains(variable)) return;
  if (const std::optional<QByteArray> bytes = strictBase64(environment.value(variable)))
    defaults.set(QString::fromLatin1(key), *bytes);
}

}  // namespace

bool isTestSuite() {
  return testSuiteOverride().has_value();
}

void seedTestState(SharedDefaults& defaults, const QProcessEnvironment& environment, bool testSuite) {
  if (!testSuite) return;
  seed(defaults, environment, QStringLiteral("PARCELMOOR_TEST_ACCOUNT"), names::key::kAccountState);
  seed(defaults, environment, QStringLiteral("PARCELMOOR_TEST_SYNC"), names::key::kSyncState);
}

}  // namespace pm::settings

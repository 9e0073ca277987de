#pragma once

#include <QHash>
#include <QString>

namespace pm {

// The values a build hands the programs (the OAuth client identifiers of the drives, the version). They
// come from CMake variables of the same names; a variable that was never set keeps the text "$(NAME)", as
// an unexpanded build setting would.
class BundleInfo {
 public:
  // The values compiled into this build.
  static BundleInfo compiledIn();

  // Exactly these values (for tests and for builds that read them elsewhere).
  explicit BundleInfo(QHash<QString, QString> values) : values_(std::move(values)) {}

  // The raw value under `key`; empty when there is none.
  QString rawValue(const QString& key) const { return values_.value(key); }

 private:
  QHash<QString, QString> values_;
};

// The value under `key`, or empty text when it is absent or still an unexpanded "$(…)" setting. Callers
// treat empty text as "not configured".
QString infoPlistValue(const BundleInfo& bundle, const QString& key);

}  // namespace pm

#include "BundleInfo.h"

#include "BundleValues.h"

namespace pm {

BundleInfo BundleInfo::compiledIn() {
  QHash<QString, QString> values;
  for (const auto& [key, value] : bundle_values::kAll) values.insert(QString::fromUtf8(key), QString::fromUtf8(value));
  return BundleInfo(std::move(values));
}

QString infoPlistValue(const BundleInfo& bundle, const QString& key) {
  QString value = bundle.rawValue(key);
  if (value.startsWith(QLatin1String("$("))) return {};
  return value;
}

}  // namespace pm

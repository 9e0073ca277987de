#include "VersionText.h"

#include "platform/BundleInfo.h"

namespace pm::settings {

namespace {

QString valueOrDash(const BundleInfo& bundle, const char* key) {
  const QString value = infoPlistValue(bundle, QString::fromLatin1(key));
  return value.isEmpty() ? QStringLiteral("\u2014") : value;
}

}  // namespace

QString versionText(const BundleInfo& bundle) {
  return valueOrDash(bundle, "CFBundleShortVersionString") + QLatin1String(" (") +
         valueOrDash(bundle, "CFBundleVersion") + QLatin1Char(')');
}

}  // namespace pm::settings

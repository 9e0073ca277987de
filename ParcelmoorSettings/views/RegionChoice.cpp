#include "RegionChoice.h"

namespace pm::settings {

const QStringList& RegionChoice::regions() {
  static const QStringList list{
      QStringLiteral("auto"),           QStringLiteral("us-east-1"),      QStringLiteral("us-east-2"),
      QStringLiteral("us-west-1"),      QStringLiteral("us-west-2"),      QStringLiteral("eu-west-1"),
      QStringLiteral("eu-west-2"),      QStringLiteral("eu-west-3"),      QStringLiteral("eu-central-1"),
      QStringLiteral("eu-north-1"),     QStringLiteral("ap-southeast-1"), QStringLiteral("ap-southeast-2"),
      QStringLiteral("ap-northeast-1"), QStringLiteral("ap-south-1"),     QStringLiteral("ca-central-1"),
      QStringLiteral("sa-east-1")};
  return list;
}

bool RegionChoice::isCustom(const QString& region, bool typing) {
  return typing || (!region.isEmpty() && !regions().contains(region));
}

QString RegionChoice::pickerValue(const QString& region, bool typing) {
  if (isCustom(region, typing)) return QString::fromLatin1(kCustom);
  return region.isEmpty() ? QStringLiteral("auto") : region;
}

RegionChoice::Outcome RegionChoice::choose(const QString& value, const QString& region) {
  if (value == QLatin1String(kCustom)) return {region, true};
  return {value, false};
}

}  // namespace pm::settings

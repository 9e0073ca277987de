#pragma once

#include <QString>
#include <QStringList>

namespace pm::settings {

// The region picker of an S3 connection: sixteen named regions, then "Custom…" for one typed by hand.
struct RegionChoice {
  // The value of the "Custom…" entry.
  static constexpr char kCustom[] = "__custom";
  static const QStringList& regions();

  // Whether the typed-region row shows: the user chose to type one, or the stored region is none of the
  // sixteen (an empty region is not custom).
  static bool isCustom(const QString& region, bool typing);
  // The picker's entry: "__custom", the stored region, or "auto" for none.
  static QString pickerValue(const QString& region, bool typing);

  // What choosing `value` does: typing is on only for "Custom…", which keeps the stored region.
  struct Outcome {
    QString region;
    bool typing;
  };
  static Outcome choose(const QString& value, const QString& region);
};

}  // namespace pm::settings

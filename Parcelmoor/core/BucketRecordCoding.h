#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonValue>
#include <QLatin1StringView>
#include <QString>

#include <optional>

#include "core/BucketHistory.h"

namespace pm {

// One history record as the history file holds it: a compact JSON object whose keys follow the fields'
// order, dates as internet date-times in UTC with whole seconds and "Z".

// A record read from the file, and the text it is written back as. The text keeps the share link exactly as
// it was read: a URL parser normalises links ("#" inside a fragment, "%41"), and a link that changed on
// every save would no longer be the one the service handed out.
struct DecodedBucketRecord {
  BucketRecord record;
  QByteArray encoded;
};

// A record's values as the file holds them, not yet checked: the identifier and the dates as their texts
// (a text that is not Latin-1 is no identifier or date either), the share link's text when there is one.
struct StoredBucketRecord {
  QLatin1StringView id;
  QLatin1StringView createdAt;
  QLatin1StringView completedAt;
  qint64 itemCount = 0;
  std::optional<QString> shareURL;  // nothing: no link (the key absent, or null)
  bool isClosed = false;
  // The whole record's text when it already stands in the form a save writes, which then goes back as it is
  // instead of being written out again; empty when it is not known to.
  QByteArrayView writtenForm;
};

// Nothing when the value is not a record, or holds a value that could not be written back as it was read
// (a date whose UTC form leaves the years 1 to 9999), so whatever loads saves back equal.
std::optional<DecodedBucketRecord> decodeBucketRecord(const QJsonValue& value);
// The same for values already taken out of the file.
std::optional<DecodedBucketRecord> decodeBucketRecord(const StoredBucketRecord& stored);

QByteArray encodeBucketRecord(const BucketRecord& record);

}  // namespace pm

#pragma once

#include <QByteArray>
#include <QJsonValue>

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

// Nothing when the value is not a record, or holds a value that could not be written back as it was read
// (a date whose UTC form leaves the years 1 to 9999), so whatever loads saves back equal.
std::optional<DecodedBucketRecord> decodeBucketRecord(const QJsonValue& value);

QByteArray encodeBucketRecord(const BucketRecord& record);

}  // namespace pm

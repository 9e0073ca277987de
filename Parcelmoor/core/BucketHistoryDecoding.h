#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>

#include <optional>

#include "core/BucketHistory.h"

namespace pm {

// The records of a history file, each with the text a save writes it back as (see BucketRecordCoding.h).
struct DecodedBucketHistory {
  QList<BucketRecord> records;
  QByteArrayList encoded;  // one for each record, in the same order
  // An element of the array was no record: the file holds something that was not loaded.
  bool leftSomethingOut = false;
};

// The history file's array of records; nothing when the data is not a JSON array.
// A file in the form this program writes is read straight from its bytes (a JSON parser's document of ten
// thousand records cost more than the rest of loading together); any other JSON goes through the parser,
// with the same outcome.
std::optional<DecodedBucketHistory> decodeBucketHistory(const QByteArray& data);

// The two ways on their own, so they can be held to each other.
// Only the form encodeBucketRecord writes: "[", the records joined by ",", "]", the keys in the order of the
// fields, no white space, strings of printable ASCII without escapes, whole numbers of at most 15 digits.
// Nothing for anything else, which is then for decodeBucketHistoryAsJson.
std::optional<DecodedBucketHistory> decodeCompactBucketHistory(const QByteArray& data);
std::optional<DecodedBucketHistory> decodeBucketHistoryAsJson(const QByteArray& data);

}  // namespace pm

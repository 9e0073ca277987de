#include "BucketHistoryDecoding.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include "core/BucketRecordCoding.h"

namespace pm {
namespace {

void addDecoded(DecodedBucketHistory& history, std::optional<DecodedBucketRecord> decoded) {
  if (!decoded) {
    // The rest is usable; the file still holds something that was not taken in.
    history.leftSomethingOut = true;
    return;
  }
  history.records.append(std::move(decoded->record));
  history.encoded.append(std::move(decoded->encoded));
}

// Reads the compact form front to back. Whatever it takes is JSON that a parser reads as the same values,
// so a record it takes is checked by the same decodeBucketRecord as a parsed one; the first byte it does
// not expect ends the reading.
class CompactHistoryReader {
 public:
  explicit CompactHistoryReader(const QByteArray& data)
      : next_(data.constData()), end_(data.constData() + data.size()) {}

  std::optional<DecodedBucketHistory> read() {
    DecodedBucketHistory history;
    if (!take("[")) return std::nullopt;
    if (!take("]")) {
      do {
        std::optional<StoredBucketRecord> stored = record();
        if (!stored) return std::nullopt;
        addDecoded(history, decodeBucketRecord(*stored));
      } while (take(","));
      if (!take("]")) return std::nullopt;
    }
    if (next_ != end_) return std::nullopt;
    return history;
  }

 private:
  std::optional<StoredBucketRecord> record() {
    const char* const start = next_;
    StoredBucketRecord stored;
    if (!(take(R"({"id":)") && string(stored.id) && take(R"(,"createdAt":)") && string(stored.createdAt) &&
          take(R"(,"completedAt":)") && string(stored.completedAt) && take(R"(,"itemCount":)") &&
          integer(stored.itemCount)))
      return std::nullopt;
    if (take(R"(,"shareURL":)")) {
      QLatin1StringView link;
      if (!string(link)) return std::nullopt;
      stored.shareURL = QString(link);
    }
    if (!take(R"(,"isClosed":)")) return std::nullopt;
    if (take("true")) {
      stored.isClosed = true;
    } else if (!take("false")) {
      return std::nullopt;
    }
    if (!take("}")) return std::nullopt;
    if (isWrittenForm(stored)) stored.writtenForm = QByteArrayView(start, next_);
    return stored;
  }

  // The rest of this form is the written one already; an identifier is written in upper case, and a date
  // in UTC with "Z".
  static bool isWrittenForm(const StoredBucketRecord& stored) {
    const auto isWrittenDate = [](QLatin1StringView date) {
      return date.size() == 20 && date.back() == QLatin1Char('Z');
    };
    const auto isLowerCase = [](char c) { return c >= 'a' && c <= 'z'; };
    return std::none_of(stored.id.begin(), stored.id.end(), isLowerCase) && isWrittenDate(stored.createdAt) &&
           isWrittenDate(stored.completedAt);
  }

  // Moves past `text` when the data goes on with it, and only then.
  bool take(std::string_view text) {
    if (end_ - next_ < qsizetype(text.size()) || std::memcmp(next_, text.data(), text.size()) != 0)
      return false;
    next_ += text.size();
    return true;
  }

  // A string whose characters stand for themselves: printable ASCII, no quote and no escape.
  bool string(QLatin1StringView& text) {
    if (!take("\"")) return false;
    const char* const start = next_;
    for (; next_ != end_ && *next_ != '"'; ++next_) {
      const auto byte = static_cast<unsigned char>(*next_);
      if (byte < 0x20 || byte > 0x7e || byte == '\\') return false;
    }
    if (next_ == end_) return false;
    text = QLatin1StringView(start, next_ - start);
    ++next_;
    return true;
  }

  // A whole number as a writer writes it, short enough that no reader can take it for anything else.
  bool integer(qint64& value) {
    if (take("0")) {
      value = 0;
      return true;
    }
    const bool negative = take("-");
    qint64 magnitude = 0;
    int count = 0;
    for (; next_ != end_ && *next_ >= '0' && *next_ <= '9'; ++next_, ++count) {
      if ((count == 0 && *next_ == '0') || count == 15) return false;
      magnitude = magnitude * 10 + (*next_ - '0');
    }
    if (count == 0) return false;
    value = negative ? -magnitude : magnitude;
    return true;
  }

  const char* next_;
  const char* const end_;
};

}  // namespace

std::optional<DecodedBucketHistory> decodeBucketHistory(const QByteArray& data) {
  if (std::optional<DecodedBucketHistory> compact = decodeCompactBucketHistory(data)) return compact;
  return decodeBucketHistoryAsJson(data);
}

std::optional<DecodedBucketHistory> decodeCompactBucketHistory(const QByteArray& data) {
  return CompactHistoryReader(data).read();
}

std::optional<DecodedBucketHistory> decodeBucketHistoryAsJson(const QByteArray& data) {
  const QJsonDocument document = QJsonDocument::fromJson(data);
  if (!document.isArray()) return std::nullopt;
  const QJsonArray array = document.array();
  DecodedBucketHistory history;
  history.records.reserve(array.size());
  history.encoded.reserve(array.size());
  for (const QJsonValue& value : array) addDecoded(history, decodeBucketRecord(value));
  return history;
}

}  // namespace pm

#pragma once

#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace pm {

// A QHash or QSet split into many small ones, each key kept in the one its hash picks. A hash table grows
// by rehashing every entry it holds in one go: at a hundred thousand entries that alone holds the event
// loop for longer than a frame. Split up, each part rehashes on its own and only its share of the
// entries, and the parts reach their thresholds a few at a time, so no insertion ever costs more than a
// small part's rehash. Lookups cost one more hash of the key. `Part` is a QHash<Key, T> or a QSet<Key>;
// the operations take and give what that part type does.
template <typename Part>
class ShardedHash {
 public:
  using Key = typename Part::key_type;
  static constexpr std::size_t kParts = 64;

  qsizetype size() const {
    qsizetype total = 0;
    for (const Part& part : parts_) total += part.size();
    return total;
  }
  bool isEmpty() const { return size() == 0; }
  // The entries of the fullest part, for the tests: the parts share the keys out evenly.
  qsizetype largestPart() const {
    qsizetype largest = 0;
    for (const Part& part : parts_) largest = std::max(largest, part.size());
    return largest;
  }
  bool contains(const Key& key) const { return part(key).contains(key); }

  // `insert(key)` for a set, `insert(key, value)` for a hash.
  template <typename... Value>
  void insert(const Key& key, Value&&... value) {
    part(key).insert(key, std::forward<Value>(value)...);
  }
  // Whether the key was there.
  bool remove(const Key& key) { return part(key).remove(key); }

  // The hash's own value lookups.
  template <typename... Fallback>
  auto value(const Key& key, Fallback&&... fallback) const {
    return part(key).value(key, std::forward<Fallback>(fallback)...);
  }
  auto take(const Key& key) { return part(key).take(key); }
  auto& operator[](const Key& key) { return part(key)[key]; }
  // The value kept under `key` to read or change in place, or null; valid until the next insertion or
  // removal.
  auto* find(const Key& key) {
    Part& holder = part(key);
    const auto found = holder.find(key);
    return found == holder.end() ? nullptr : &found.value();
  }
  const auto* find(const Key& key) const {
    const Part& holder = part(key);
    const auto found = holder.constFind(key);
    return found == holder.cend() ? nullptr : &found.value();
  }

  // Gives back every part's room as well as its entries.
  void clear() {
    for (Part& part : parts_) part = Part();
  }

 private:
  static std::size_t partIndex(const Key& key) {
    // The parts pick by the top bits of a mix of the key's hash, while each part places a key by the low
    // bits of the hash: a part's keys then spread over the part's own buckets instead of crowding a few.
    const std::uint64_t mixed = std::uint64_t(qHash(key, 0)) * 0x9E3779B97F4A7C15ULL;
    return std::size_t(mixed >> 58) % kParts;
  }
  Part& part(const Key& key) { return parts_[partIndex(key)]; }
  const Part& part(const Key& key) const { return parts_[partIndex(key)]; }

  std::array<Part, kParts> parts_;
};

}  // namespace pm

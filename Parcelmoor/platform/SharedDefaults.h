#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>

namespace pm {

struct Paths;

// One preferences suite that both programs read and write. Values keep their type: a stored Bool reads
// as a Bool and the string "true" does not. Supported types: bool, integer (qint64), double, QString,
// QByteArray (data), QDateTime (date), QVariantList (array) and QVariantMap (dictionary) of these.
class SharedDefaults {
 public:
  using Change = std::function<QVariant(const QVariant& current)>;

  virtual ~SharedDefaults() = default;

  // The stored value; an invalid QVariant when the key is absent, its stored form cannot be read, or the
  // suite could not be read at all. For values whose default is harmless.
  virtual QVariant object(const QString& key) const = 0;
  // As object(), but nothing when the suite itself could not be read just now (an I/O error, no descriptor
  // left): a caller that would write a default in place of what is absent must not take that for "nothing
  // stored". A suite that cannot fail to read keeps this default.
  virtual std::optional<QVariant> read(const QString& key) const { return object(key); }

  // Stores `value`; an invalid QVariant removes the key. False when the value has an unsupported type or
  // could not be written (logged).
  virtual bool set(const QString& key, const QVariant& value) = 0;

  // Reads one key, hands it to `change` and stores what it returns (invalid removes), all under the
  // suite's lock, so another program cannot write the key in between. Returns the value it replaced.
  // `ok` (optional) tells whether the new value was stored. When the suite cannot be read, `change` is not
  // called and nothing is written.
  virtual QVariant update(const QString& key, const Change& change, bool* ok = nullptr) = 0;

  bool remove(const QString& key) { return set(key, QVariant()); }
  bool contains(const QString& key) const { return object(key).isValid(); }

  // Typed reads: nothing unless the stored value has exactly that type (an integer also reads as double).
  std::optional<bool> boolValue(const QString& key) const;
  std::optional<qint64> integerValue(const QString& key) const;
  std::optional<double> doubleValue(const QString& key) const;
  std::optional<QString> stringValue(const QString& key) const;
  std::optional<QByteArray> dataValue(const QString& key) const;
  std::optional<QDateTime> dateValue(const QString& key) const;
  std::optional<QStringList> stringArrayValue(const QString& key) const;
};

// Brings a value into the stored type system: ints become qint64, QStringList an array of strings, dates
// UTC and exactly as their stored form (seconds since the reference date) gives them back, so the file and
// the memory suite answer alike. An invalid QVariant for what cannot be stored.
QVariant normalizedDefaultsValue(const QVariant& value);

// The suite kept in one JSON file. Every read sees the current file (a change by another program shows at
// once); every write takes the kernel's lock on "<file>.lock", re-reads, changes its one key and renames a
// new, fully written file into place, so two programs that write different keys lose nothing and a failed
// write leaves the old file as it was. File 0600, folder 0700. A file that is not a JSON object, or that
// can never be opened, reads as empty and is moved aside by the next write; a file that fails to read for
// a passing reason (I/O) is reported as a failed read and never written over.
class FileSharedDefaults final : public SharedDefaults {
 public:
  explicit FileSharedDefaults(QString filePath);

  QVariant object(const QString& key) const override { return read(key).value_or(QVariant()); }
  std::optional<QVariant> read(const QString& key) const override;
  bool set(const QString& key, const QVariant& value) override;
  QVariant update(const QString& key, const Change& change, bool* ok = nullptr) override;

  const QString& filePath() const { return path_; }

 private:
  struct Snapshot;
  std::shared_ptr<const Snapshot> snapshot() const;

  QString path_;
  mutable QMutex cacheMutex_;
  mutable std::shared_ptr<const Snapshot> cache_;
};

// A suite in memory with the same typed semantics, for unit tests.
class MemorySharedDefaults final : public SharedDefaults {
 public:
  QVariant object(const QString& key) const override { return read(key).value_or(QVariant()); }
  std::optional<QVariant> read(const QString& key) const override;
  bool set(const QString& key, const QVariant& value) override;
  QVariant update(const QString& key, const Change& change, bool* ok = nullptr) override;
  QStringList keys() const;

  // While set, every read and write fails as the file's would when the file cannot be read just now.
  void setReadsFail(bool fail);

 private:
  mutable QMutex mutex_;
  QVariantMap values_;
  bool readsFail_ = false;
};

// PARCELMOOR_TEST_SUITE, read once per process on first use. Present-but-empty counts as present.
std::optional<QString> testSuiteOverride();

// The suite this process uses: the test suite when the variable is present (or `standardSuite`, the
// program's own suite, when that name cannot be a suite), else the shared group suite.
QString sharedSuiteName(const QString& standardSuite);

// The accessor both programs use. The returned handle always reads the current file, so holding it is
// cheap and safe; the programs build one at start-up and pass it down.
std::unique_ptr<SharedDefaults> openSharedDefaults(const Paths& paths, const QString& standardSuite);

}  // namespace pm

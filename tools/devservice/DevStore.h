#pragma once

#include <QString>

#include <memory>
#include <mutex>
#include <optional>
#include <type_traits>
#include <vector>

#include "SqliteConnection.h"
#include "StoreTransaction.h"
#include "StoredRecords.h"

namespace pm::dev {

// Everything the development service keeps, in one SQLite database "state.db" under its state folder
// (private to the user: it holds the access keys of connectors, and the hashes of session tokens), with
// the stored parts beside it in "parts/<bucket>/<file>/part-<n>". Sign-in codes live only in memory: a
// restart asks for a new one.
//
// Each request is one transaction, committed before it is answered, in write-ahead logging: a service
// that is killed loses at most the request it was serving, and the file opens whole at the next start.
// Writers take turns on one connection for the few microseconds their transaction lasts; readers each
// have a connection of their own and see the last committed state without waiting for a writer. Other
// processes (the tests) may open the same folder while the service runs.
class DevStore {
 public:
  // Opens "state.db" in `directory` (made private when missing), making it on first use. A folder that an
  // earlier version kept as "state.json" is carried over once, in one transaction, and the file is set
  // aside as "state.json.migrated-<time>"; one that cannot be read is set aside as
  // "state.json.unreadable-<time>" and the store starts empty.
  explicit DevStore(QString directory);
  ~DevStore();
  DevStore(const DevStore&) = delete;
  DevStore& operator=(const DevStore&) = delete;

  // False when the state folder or its database could not be made or opened: nothing could be kept.
  bool isUsable() const { return writer_ != nullptr; }

  const QString& directory() const { return directory_; }
  QString partFile(const QString& bucketID, const QString& fileID, int partNumber) const;
  QString bucketFolder(const QString& bucketID) const;

  // Runs `work` in one write transaction and commits it when `work` returns. An exception (a StoreError
  // from the database, say) rolls everything back and goes on to the caller.
  template <typename Work>
  auto write(Work&& work) {
    const std::lock_guard lock(writerMutex_);
    StoreTransaction transaction(usableWriter(), StoreTransaction::Kind::write);
    if constexpr (std::is_void_v<std::invoke_result_t<Work, StoreTransaction&>>) {
      work(transaction);
      transaction.commit();
    } else {
      auto result = work(transaction);
      transaction.commit();
      return result;
    }
  }

  // Runs `work` on one consistent moment of the store, changing nothing.
  template <typename Work>
  auto read(Work&& work) const {
    BorrowedReader reader(*this);
    StoreTransaction transaction(reader.connection(), StoreTransaction::Kind::read);
    return work(transaction);
  }

  // A new session's token, handed out once: only its hash is kept, so the database opens no account.
  QString createSession(const QString& email);
  std::optional<QString> sessionEmail(const QString& token) const;
  void endSession(const QString& token);

  static QString tokenHash(const QString& token);
  // A fresh identifier of `kind` ("bucket", "file", "box"): random, so links cannot be guessed.
  static QString newIdentifier(const QString& kind);

 private:
  class BorrowedReader {
   public:
    explicit BorrowedReader(const DevStore& store);
    ~BorrowedReader();
    BorrowedReader(const BorrowedReader&) = delete;
    BorrowedReader& operator=(const BorrowedReader&) = delete;
    SqliteConnection& connection() { return *connection_; }

   private:
    const DevStore& store_;
    std::unique_ptr<SqliteConnection> connection_;
  };

  void open();
  SqliteConnection& usableWriter();
  QString databaseFile() const;

  QString directory_;
  std::unique_ptr<SqliteConnection> writer_;
  std::mutex writerMutex_;
  mutable std::mutex readersMutex_;
  mutable std::vector<std::unique_ptr<SqliteConnection>> idleReaders_;
};

}  // namespace pm::dev

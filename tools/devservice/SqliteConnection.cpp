#include "SqliteConnection.h"

#include <QFile>

#include <sqlite3.h>

namespace pm::dev {

namespace {

// A writer that meets the file locked by another process (a test reading it, a second service on the same
// folder) waits this long before it gives up.
constexpr int kBusyTimeoutMs = 10'000;

[[noreturn]] void fail(sqlite3* database, const char* doing) {
  throw StoreError(std::string(doing) + ": " + (database ? sqlite3_errmsg(database) : "out of memory"));
}

}  // namespace

Statement::Statement(sqlite3* database, sqlite3_stmt* statement)
    : database_(database), statement_(statement) {}

Statement::Statement(Statement&& other) noexcept
    : database_(other.database_), statement_(std::exchange(other.statement_, nullptr)) {}

Statement::~Statement() {
  if (!statement_) return;
  sqlite3_reset(statement_);
  sqlite3_clear_bindings(statement_);
}

void Statement::bind(int index, const QString& value) {
  const QByteArray utf8 = value.toUtf8();
  if (sqlite3_bind_text(statement_, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT) != SQLITE_OK)
    fail(database_, "bind");
}

void Statement::bind(int index, const QByteArray& value) {
  if (sqlite3_bind_blob(statement_, index, value.constData(), int(value.size()), SQLITE_TRANSIENT) !=
      SQLITE_OK)
    fail(database_, "bind");
}

void Statement::bind(int index, qint64 value) {
  if (sqlite3_bind_int64(statement_, index, value) != SQLITE_OK) fail(database_, "bind");
}

void Statement::bind(int index, const std::optional<qint64>& value) {
  if (value) return bind(index, *value);
  if (sqlite3_bind_null(statement_, index) != SQLITE_OK) fail(database_, "bind");
}

bool Statement::next() {
  const int status = sqlite3_step(statement_);
  if (status == SQLITE_ROW) return true;
  if (status == SQLITE_DONE) return false;
  fail(database_, "step");
}

void Statement::run() {
  while (next()) {
  }
}

QString Statement::text(int column) const {
  const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
  return QString::fromUtf8(data, sqlite3_column_bytes(statement_, column));
}

QByteArray Statement::blob(int column) const {
  const auto* data = static_cast<const char*>(sqlite3_column_blob(statement_, column));
  return QByteArray(data, sqlite3_column_bytes(statement_, column));
}

qint64 Statement::integer(int column) const {
  return sqlite3_column_int64(statement_, column);
}

bool Statement::isNull(int column) const {
  return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

SqliteConnection::SqliteConnection(const QString& file) {
  // Each connection serves one thread at a time, so SQLite's own locking of it is not needed.
  const int status =
      sqlite3_open_v2(QFile::encodeName(file).constData(), &database_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  if (status != SQLITE_OK) {
    const std::string reason = database_ ? sqlite3_errmsg(database_) : "out of memory";
    sqlite3_close(database_);
    throw StoreError("cannot open " + QFile::encodeName(file).toStdString() + ": " + reason);
  }
  sqlite3_busy_timeout(database_, kBusyTimeoutMs);
  sqlite3_extended_result_codes(database_, 1);
}

SqliteConnection::~SqliteConnection() {
  for (const auto& [sql, statement] : prepared_) sqlite3_finalize(statement);
  sqlite3_close(database_);
}

void SqliteConnection::execute(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(database_, sql, nullptr, nullptr, &message) == SQLITE_OK) return;
  const std::string reason = message ? message : sqlite3_errmsg(database_);
  sqlite3_free(message);
  throw StoreError(reason);
}

Statement SqliteConnection::prepare(const char* sql) {
  auto found = prepared_.find(sql);
  if (found == prepared_.end()) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v3(database_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr) != SQLITE_OK)
      fail(database_, "prepare");
    found = prepared_.emplace(sql, statement).first;
  }
  return Statement(database_, found->second);
}

qint64 SqliteConnection::changes() const {
  return sqlite3_changes64(database_);
}

}  // namespace pm::dev

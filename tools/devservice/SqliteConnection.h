#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace pm::dev {

// The database refused or failed a step: the request that met it changes nothing.
class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One use of a prepared statement: parameters bound in order, rows read column by column. The statement
// is reset when the use ends, so the connection can hand it out again.
class Statement {
 public:
  Statement(sqlite3* database, sqlite3_stmt* statement);
  ~Statement();
  Statement(Statement&& other) noexcept;
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement& operator=(Statement&&) = delete;

  void bind(int index, const QString& value);
  void bind(int index, const QByteArray& value);  // as a blob
  void bind(int index, qint64 value);
  void bind(int index, int value) { bind(index, qint64(value)); }
  void bind(int index, bool value) { bind(index, qint64(value)); }
  void bind(int index, const std::optional<qint64>& value);

  // Steps to the next row: false once there is none.
  bool next();
  // Steps through to the end, for a statement that answers no rows.
  void run();

  QString text(int column) const;
  QByteArray blob(int column) const;
  qint64 integer(int column) const;
  bool isNull(int column) const;

 private:
  sqlite3* database_;
  sqlite3_stmt* statement_;
};

// One connection to the database file, used by one thread at a time. Statements are prepared once per
// connection and kept, so a request pays only for binding and stepping. Every failure throws StoreError.
class SqliteConnection {
 public:
  explicit SqliteConnection(const QString& file);
  ~SqliteConnection();
  SqliteConnection(const SqliteConnection&) = delete;
  SqliteConnection& operator=(const SqliteConnection&) = delete;

  // Statements without parameters, one or several separated by semicolons.
  void execute(const char* sql);

  // `sql` with `arguments` bound to its parameters in order.
  template <typename... Arguments>
  Statement query(const char* sql, const Arguments&... arguments) {
    Statement statement = prepare(sql);
    int index = 0;
    (statement.bind(++index, arguments), ...);
    return statement;
  }

  // Rows the last insert, update or delete changed.
  qint64 changes() const;

 private:
  Statement prepare(const char* sql);

  sqlite3* database_ = nullptr;
  std::unordered_map<std::string, sqlite3_stmt*> prepared_;
};

}  // namespace pm::dev

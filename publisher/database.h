// The game server's database, SQLite or PostgreSQL behind one small interface: statements with "?"
// placeholders, prepared once per text and bound to values, so no value ever becomes SQL. One
// Database is one connection and is used by one thread at a time.
#ifndef PUBLISHER_DATABASE_H
#define PUBLISHER_DATABASE_H

#include <stdint.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace publisher {

using SqlValue = std::variant<std::nullptr_t, int64_t, std::string>;

// One result row, every column as text (null stays null).
struct SqlRow {
  std::vector<std::optional<std::string>> columns;

  std::string text(size_t column) const;
  int64_t integer(size_t column) const;  // 0 for null or text that is not a number
};
using SqlRows = std::vector<SqlRow>;

class Database {
 public:
  virtual ~Database() = default;
  // "SQLite" or "PostgreSQL".
  virtual const char* kind() const = 0;
  // Runs one statement. Rows it returns go to rows (when not null); the count of rows it changed to
  // changed (when not null). False with the database's reason in error.
  bool run(std::string_view sql, const std::vector<SqlValue>& values, SqlRows* rows, int64_t* changed,
           std::string* error) {
    std::string why;
    if (execute(sql, values, rows, changed, &why)) return true;
    ++failures_;
    if (error != nullptr) *error = std::move(why);
    return false;
  }
  bool run(std::string_view sql, const std::vector<SqlValue>& values, std::string* error) {
    return run(sql, values, nullptr, nullptr, error);
  }
  // Whether the last failure was one that the same transaction, run again, would get past: another
  // transaction held what it needed (a deadlock, a serialization failure, a busy file).
  bool lastFailureRetryable() const { return retryable_; }
  // Whether the connection itself is gone (the server restarted, the network failed, a statement
  // outlived the client's own bound): nothing more can run on it, and the caller opens another.
  virtual bool connectionLost() const { return false; }
  // How many statements the database has refused so far: a job that fails while this stays the
  // same failed for a reason of its own, not the database's.
  uint64_t failures() const { return failures_; }

 protected:
  virtual bool execute(std::string_view sql, const std::vector<SqlValue>& values, SqlRows* rows, int64_t* changed,
                       std::string* error) = 0;

  bool retryable_ = false;

 private:
  uint64_t failures_ = 0;
};

// True when where names a PostgreSQL database (a "postgresql://" or "postgres://" address, or
// "key=value" connection settings); anything else is the path of an SQLite file.
bool isPostgresAddress(std::string_view where);
// Opens (creating an SQLite file when missing) the database that where names.
std::unique_ptr<Database> openDatabase(const std::string& where, std::string* error);

std::unique_ptr<Database> openSqlite(const std::string& path, std::string* error);
// Every statement on PostgreSQL is cancelled by the server after statementTimeoutMs, and given up
// by the client (the connection then counts as lost) a few seconds after that, so a database that
// hangs holds the server's database thread for a bounded time only.
constexpr int kStatementTimeoutMs = 10000;
std::unique_ptr<Database> openPostgres(const std::string& address, std::string* error,
                                       int statementTimeoutMs = kStatementTimeoutMs);

}  // namespace publisher

#endif

// SQLite: one file, write-ahead log, every commit synced (a statistics post or event answered 200
// survives a power cut), and a wait of its own when another process (a publish) holds the file.
#include <sqlite3.h>

#include <map>

#include "publisher/database.h"

namespace publisher {
namespace {

class SqliteDatabase : public Database {
 public:
  explicit SqliteDatabase(sqlite3* db) : db_(db) {}
  ~SqliteDatabase() override {
    for (auto& [text, statement] : statements_) sqlite3_finalize(statement);
    sqlite3_close(db_);
  }

  const char* kind() const override { return "SQLite"; }

 protected:
  bool execute(std::string_view sql, const std::vector<SqlValue>& values, SqlRows* rows, int64_t* changed,
               std::string* error) override {
    retryable_ = false;
    sqlite3_stmt* statement = prepared(sql, error);
    if (statement == nullptr) return false;
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    for (size_t i = 0; i < values.size(); ++i) {
      const int at = static_cast<int>(i + 1);
      if (const auto* number = std::get_if<int64_t>(&values[i])) {
        sqlite3_bind_int64(statement, at, *number);
      } else if (const auto* text = std::get_if<std::string>(&values[i])) {
        sqlite3_bind_text(statement, at, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
      } else {
        sqlite3_bind_null(statement, at);
      }
    }
    for (;;) {
      const int step = sqlite3_step(statement);
      if (step == SQLITE_DONE) break;
      if (step != SQLITE_ROW) {
        if (error != nullptr) *error = sqlite3_errmsg(db_);
        retryable_ = step == SQLITE_BUSY || step == SQLITE_LOCKED;
        sqlite3_reset(statement);
        return false;
      }
      if (rows == nullptr) continue;
      SqlRow row;
      const int count = sqlite3_column_count(statement);
      for (int c = 0; c < count; ++c) {
        if (sqlite3_column_type(statement, c) == SQLITE_NULL) {
          row.columns.emplace_back(std::nullopt);
        } else {
          const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
          row.columns.emplace_back(std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, c))));
        }
      }
      rows->push_back(std::move(row));
    }
    if (changed != nullptr) *changed = sqlite3_changes(db_);
    sqlite3_reset(statement);
    return true;
  }

 private:
  sqlite3_stmt* prepared(std::string_view sql, std::string* error) {
    auto found = statements_.find(std::string(sql));
    if (found != statements_.end()) return found->second;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) != SQLITE_OK) {
      if (error != nullptr) *error = sqlite3_errmsg(db_);
      return nullptr;
    }
    statements_.emplace(std::string(sql), statement);
    return statement;
  }

  sqlite3* db_;
  std::map<std::string, sqlite3_stmt*> statements_;
};

}  // namespace

std::unique_ptr<Database> openSqlite(const std::string& path, std::string* error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    if (error != nullptr) *error = "cannot open " + path + ": " + (db != nullptr ? sqlite3_errmsg(db) : "no memory");
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 10000);
  auto database = std::make_unique<SqliteDatabase>(db);
  for (const char* setting : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"}) {
    std::string why;
    SqlRows ignored;
    if (!database->run(setting, {}, &ignored, nullptr, &why)) {
      if (error != nullptr) *error = "cannot set up " + path + ": " + why;
      return nullptr;
    }
  }
  return database;
}

}  // namespace publisher

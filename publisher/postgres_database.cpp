// PostgreSQL through libpq: statements prepared on the server once per connection, values sent
// as parameters in text form.
#include <libpq-fe.h>
#include <stdlib.h>
#include <string.h>

#include <map>

#include "publisher/database.h"

namespace publisher {
namespace {

// "?" placeholders as PostgreSQL's "$1", "$2"... (the game server's SQL has no "?" in literals).
std::string numberedPlaceholders(std::string_view sql) {
  std::string out;
  int next = 1;
  for (char c : sql) {
    if (c == '?') {
      out += "$" + std::to_string(next++);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

class PostgresDatabase : public Database {
 public:
  explicit PostgresDatabase(PGconn* connection) : connection_(connection) {}
  ~PostgresDatabase() override { PQfinish(connection_); }

  const char* kind() const override { return "PostgreSQL"; }
  using Database::run;

  bool run(std::string_view sql, const std::vector<SqlValue>& values, SqlRows* rows, int64_t* changed,
           std::string* error) override {
    retryable_ = false;
    const std::string* name = prepared(sql, error);
    if (name == nullptr) return false;
    std::vector<std::string> texts(values.size());
    std::vector<const char*> pointers(values.size(), nullptr);
    for (size_t i = 0; i < values.size(); ++i) {
      if (const auto* number = std::get_if<int64_t>(&values[i])) {
        texts[i] = std::to_string(*number);
        pointers[i] = texts[i].c_str();
      } else if (const auto* text = std::get_if<std::string>(&values[i])) {
        pointers[i] = text->c_str();
      }
    }
    PGresult* result = PQexecPrepared(connection_, name->c_str(), static_cast<int>(values.size()), pointers.data(),
                                      nullptr, nullptr, 0);
    const ExecStatusType status = PQresultStatus(result);
    const bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!ok) {
      if (error != nullptr) *error = PQresultErrorMessage(result);
      const char* state = PQresultErrorField(result, PG_DIAG_SQLSTATE);
      retryable_ = state != nullptr && (strcmp(state, "40001") == 0 || strcmp(state, "40P01") == 0);
    } else {
      if (rows != nullptr && status == PGRES_TUPLES_OK) {
        const int count = PQntuples(result);
        const int width = PQnfields(result);
        for (int r = 0; r < count; ++r) {
          SqlRow row;
          for (int c = 0; c < width; ++c) {
            if (PQgetisnull(result, r, c)) {
              row.columns.emplace_back(std::nullopt);
            } else {
              row.columns.emplace_back(std::string(PQgetvalue(result, r, c), static_cast<size_t>(PQgetlength(result, r, c))));
            }
          }
          rows->push_back(std::move(row));
        }
      }
      if (changed != nullptr) *changed = atoll(PQcmdTuples(result));
    }
    PQclear(result);
    return ok;
  }

 private:
  const std::string* prepared(std::string_view sql, std::string* error) {
    auto found = names_.find(std::string(sql));
    if (found != names_.end()) return &found->second;
    const std::string name = "statement" + std::to_string(names_.size() + 1);
    PGresult* result = PQprepare(connection_, name.c_str(), numberedPlaceholders(sql).c_str(), 0, nullptr);
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!ok && error != nullptr) *error = PQresultErrorMessage(result);
    PQclear(result);
    if (!ok) return nullptr;
    return &names_.emplace(std::string(sql), name).first->second;
  }

  PGconn* connection_;
  std::map<std::string, std::string> names_;
};

}  // namespace

std::unique_ptr<Database> openPostgres(const std::string& address, std::string* error) {
  PGconn* connection = PQconnectdb(address.c_str());
  if (connection == nullptr || PQstatus(connection) != CONNECTION_OK) {
    if (error != nullptr) *error = std::string("cannot connect to PostgreSQL: ") + (connection ? PQerrorMessage(connection) : "no memory");
    PQfinish(connection);
    return nullptr;
  }
  auto database = std::make_unique<PostgresDatabase>(connection);
  std::string why;
  if (!database->run("SET client_min_messages TO warning", {}, &why)) {
    if (error != nullptr) *error = "cannot set up the PostgreSQL session: " + why;
    return nullptr;
  }
  return database;
}

}  // namespace publisher

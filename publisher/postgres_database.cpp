// PostgreSQL through libpq: statements prepared on the server once per connection, values sent
// as parameters in text form. Each statement is sent without blocking and its answer awaited for a
// bounded time: the server's statement_timeout ends a slow statement; a server that does not
// answer at all is asked to cancel, and then the connection is given up as lost.
#include <errno.h>
#include <libpq-fe.h>
#include <poll.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
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

using SteadyClock = std::chrono::steady_clock;

// How long past the server's own statement timeout the client waits for an answer, and then for
// the answer to its cancel request, before it gives the connection up.
constexpr std::chrono::milliseconds kAnswerGrace{5000};
constexpr std::chrono::milliseconds kCancelGrace{2000};

class PostgresDatabase : public Database {
 public:
  PostgresDatabase(PGconn* connection, int statementTimeoutMs)
      : connection_(connection), answerBound_(std::chrono::milliseconds(statementTimeoutMs) + kAnswerGrace) {}
  ~PostgresDatabase() override { PQfinish(connection_); }

  const char* kind() const override { return "PostgreSQL"; }
  bool connectionLost() const override { return lost_ || PQstatus(connection_) == CONNECTION_BAD; }

 protected:
  bool execute(std::string_view sql, const std::vector<SqlValue>& values, SqlRows* rows, int64_t* changed,
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
    const bool sent = PQsendQueryPrepared(connection_, name->c_str(), static_cast<int>(values.size()),
                                          pointers.data(), nullptr, nullptr, 0) == 1;
    PGresult* result = sent ? awaitResult() : nullptr;
    if (result == nullptr) return failWithoutResult(error);
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
    const bool sent = PQsendPrepare(connection_, name.c_str(), numberedPlaceholders(sql).c_str(), 0, nullptr) == 1;
    PGresult* result = sent ? awaitResult() : nullptr;
    if (result == nullptr) {
      failWithoutResult(error);
      return nullptr;
    }
    const bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!ok && error != nullptr) *error = PQresultErrorMessage(result);
    PQclear(result);
    if (!ok) return nullptr;
    return &names_.emplace(std::string(sql), name).first->second;
  }

  // The statement's result once the server has answered (later results of the same statement are
  // read and dropped), or null when the connection failed or the answer did not come in time.
  PGresult* awaitResult() {
    auto deadline = SteadyClock::now() + answerBound_;
    bool cancelled = false;
    while (PQisBusy(connection_)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
      pollfd socket{PQsocket(connection_), POLLIN, 0};
      const int ready = left.count() > 0 ? poll(&socket, 1, static_cast<int>(left.count())) : 0;
      if (ready < 0 && errno == EINTR) continue;
      if (ready == 0) {
        if (cancelled) {
          lost_ = true;
          return nullptr;
        }
        requestCancel();
        cancelled = true;
        deadline = SteadyClock::now() + kCancelGrace;
        continue;
      }
      if (ready < 0 || PQconsumeInput(connection_) == 0) return nullptr;
    }
    PGresult* result = PQgetResult(connection_);
    while (PGresult* later = PQgetResult(connection_)) PQclear(later);
    return result;
  }

  void requestCancel() {
    PGcancel* cancel = PQgetCancel(connection_);
    if (cancel == nullptr) return;
    char ignored[256];
    PQcancel(cancel, ignored, sizeof ignored);
    PQfreeCancel(cancel);
  }

  bool failWithoutResult(std::string* error) {
    if (error != nullptr) {
      *error = lost_ ? "PostgreSQL did not answer within its bound" : PQerrorMessage(connection_);
    }
    retryable_ = false;
    return false;
  }

  PGconn* connection_;
  std::chrono::milliseconds answerBound_;
  bool lost_ = false;
  std::map<std::string, std::string> names_;
};

}  // namespace

std::unique_ptr<Database> openPostgres(const std::string& address, std::string* error, int statementTimeoutMs) {
  // A connection attempt that gets no answer ends after a few seconds; what the address itself
  // says comes later in the list and wins.
  const char* const keywords[] = {"connect_timeout", "dbname", nullptr};
  const char* const values[] = {"5", address.c_str(), nullptr};
  PGconn* connection = PQconnectdbParams(keywords, values, 1);
  if (connection == nullptr || PQstatus(connection) != CONNECTION_OK) {
    if (error != nullptr) *error = std::string("cannot connect to PostgreSQL: ") + (connection ? PQerrorMessage(connection) : "no memory");
    PQfinish(connection);
    return nullptr;
  }
  // The server's notices ("there is no transaction in progress", a shutdown's farewell) would go
  // to standard error on every occurrence; what matters of them the store reports itself.
  PQsetNoticeProcessor(connection, [](void*, const char*) {}, nullptr);
  auto database = std::make_unique<PostgresDatabase>(connection, statementTimeoutMs);
  std::string why;
  for (const std::string& setting : {std::string("SET client_min_messages TO warning"),
                                     "SET statement_timeout = " + std::to_string(statementTimeoutMs)}) {
    if (!database->run(setting, {}, &why)) {
      if (error != nullptr) *error = "cannot set up the PostgreSQL session: " + why;
      return nullptr;
    }
  }
  return database;
}

}  // namespace publisher

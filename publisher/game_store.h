// What the game server keeps: games and their releases (with every file's size and SHA-256), the
// sids it gave out, the statistics posts and the analytics events, and one row per player's run
// derived from the events as they come. One thread owns the connection; requests queue up for it
// and the writes that arrive together are committed together (one sync for many posts), each in a
// savepoint of its own so that one bad row never costs the others. A call returns once its work is
// committed, and its outcome is that of the commit: what the server answered 200 is on disk, and a
// write whose commit failed is Failed, never Stored. A connection that is lost (a PostgreSQL
// server restarted) is opened again and the batch run again, a bounded number of times with
// growing waits; while the database cannot be reached, every call fails at once.
#ifndef PUBLISHER_GAME_STORE_H
#define PUBLISHER_GAME_STORE_H

#include <stdint.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "publisher/database.h"
#include "publisher/fault_log.h"
#include "publisher/player_event.h"

namespace publisher {

struct ReleaseFile {
  std::string name;
  uint64_t size = 0;
  std::string sha256;  // lowercase hexadecimal
};

struct Release {
  std::string game;
  int64_t number = 0;
  std::string fileId;   // the configuration's file_id: "<game>-<number>"
  std::string cdnBase;  // each file is at cdnBase + "/" + its percent-encoded name
  int64_t publishedAt = 0;
  std::vector<ReleaseFile> files;  // the installer first
};

// What became of a request to the store. Failed is the database's fault (it could not be reached,
// a statement or the commit failed): the request may succeed when sent again.
enum class Outcome { Stored, Duplicate, Found, UnknownGame, UnknownSid, Failed };

// How a lost connection is opened again: the wait after a failed attempt doubles from firstWait up
// to longestWait; a batch whose connection was lost under it is run again after at most
// attemptsPerBatch such waits, and then fails.
struct ReconnectPolicy {
  std::chrono::milliseconds firstWait{100};
  std::chrono::milliseconds longestWait{2000};
  int attemptsPerBatch = 3;
};

class GameStore {
 public:
  using Clock = std::function<int64_t()>;  // seconds since 1970
  // Opens one connection to the database; null with the reason in error.
  using Connector = std::function<std::unique_ptr<Database>(std::string* error)>;

  struct Settings {
    Clock clock;                  // the system's when empty
    FaultLog* faults = nullptr;   // standard error, at most once a minute per kind, when null
    ReconnectPolicy reconnect;
  };

  // Opens the database, creating the tables that are missing. Null with the reason in error.
  static std::unique_ptr<GameStore> open(const std::string& where, std::string* error, Clock clock = nullptr);
  // The same through a connector of the caller's, which is asked again whenever the connection is
  // lost.
  static std::unique_ptr<GameStore> open(Connector connect, std::string* error, Settings settings);
  ~GameStore();
  GameStore(const GameStore&) = delete;
  GameStore& operator=(const GameStore&) = delete;

  const char* kind() const { return kind_; }

  // Publishing: the new release becomes the game's current one; its number is returned.
  std::optional<int64_t> publish(const std::string& game, const std::string& cdnBase,
                                 const std::vector<ReleaseFile>& files, std::string* error);
  // Makes the release published before the current one current again; its number, or none (with
  // the reason) when there is none.
  std::optional<int64_t> rollBack(const std::string& game, std::string* error);
  std::optional<Release> currentRelease(const std::string& game);
  // Every release of the game, oldest first, into all; false (with the reason) when the database
  // could not tell, which is not the same as a game with no releases.
  bool releases(const std::string& game, std::vector<Release>* all, std::string* error);
  // The codes of every game; false when the database fails.
  bool games(std::vector<std::string>* codes);

  // A new sid for a run of the game's current release: Stored, UnknownGame when the game has no
  // release, or Failed.
  Outcome newSid(const std::string& game, std::string* sid);
  // The release a sid was given out for: Found, UnknownSid, or Failed.
  Outcome releaseOfSid(const std::string& game, const std::string& sid, Release* release);
  Outcome recordStats(const std::string& game, const std::string& sid, const std::string& event,
                      const std::string& attr1, const std::string& attr2);
  // The event counts for the release of its game that is current when it arrives.
  Outcome recordEvent(const PlayerEvent& event);

  // Whether the database answers a trivial question now; false with the reason in error.
  bool answers(std::string* error);

  // Runs work on the database thread, in a transaction committed with the others queued beside it.
  // False (and error set) when the work or the commit failed. When another job of the batch fails,
  // work runs a second time, so it must start afresh each time it runs.
  bool transact(const std::function<bool(Database&, std::string*)>& work, std::string* error);

 private:
  struct Job {
    std::function<bool(Database&, std::string*)> work;
    bool done = false;
    bool ok = false;
    std::string error;
  };

  using SteadyClock = std::chrono::steady_clock;

  GameStore(std::unique_ptr<Database> database, Connector connect, Settings settings);
  void loop();
  void runBatch(std::vector<std::shared_ptr<Job>>& batch);
  bool runBatchOnce(std::vector<std::shared_ptr<Job>>& batch);
  // Opens the connection again, unless the last attempt failed less than the current wait ago.
  bool reconnect(std::string* error);
  void failAll(std::vector<std::shared_ptr<Job>>& batch, const std::string& why);

  // Owned by the database thread; null while the connection is lost.
  std::unique_ptr<Database> database_;
  const char* kind_;
  Connector connect_;
  Clock clock_;
  FaultLog ownFaults_;
  FaultLog* faults_;
  ReconnectPolicy policy_;
  SteadyClock::time_point nextAttempt_{};
  std::chrono::milliseconds wait_;
  std::string lastConnectError_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable finished_;
  std::deque<std::shared_ptr<Job>> queue_;
  bool stopping_ = false;
  std::thread thread_;
};

// Random 128 bits as 32 lowercase hexadecimal digits.
std::string randomHex128();

}  // namespace publisher

#endif

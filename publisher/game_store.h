// What the game server keeps: games and their releases (with every file's size and SHA-256), the
// sids it gave out, the statistics posts and the analytics events, and one row per player's run
// derived from the events as they come. One thread owns the connection; requests queue up for it
// and the writes that arrive together are committed together (one sync for many posts), each in a
// savepoint of its own so that one bad row never costs the others. A call returns once its work is
// committed: what the server answered 200 is on disk.
#ifndef PUBLISHER_GAME_STORE_H
#define PUBLISHER_GAME_STORE_H

#include <stdint.h>

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

// One analytics event as the downloader sent it: its name and properties (in order, as text).
struct PlayerEvent {
  std::string name;
  std::vector<std::pair<std::string, std::string>> properties;
  std::string digest;  // SHA-256 of the payload: the same event sent twice is kept once

  const std::string* property(const std::string& key) const;
};

enum class Outcome { Stored, Duplicate, UnknownGame, UnknownSid, Failed };

class GameStore {
 public:
  using Clock = std::function<int64_t()>;  // seconds since 1970

  // Opens the database, creating the tables that are missing. Null with the reason in error.
  static std::unique_ptr<GameStore> open(const std::string& where, std::string* error, Clock clock = nullptr);
  ~GameStore();
  GameStore(const GameStore&) = delete;
  GameStore& operator=(const GameStore&) = delete;

  const char* kind() const { return database_->kind(); }

  // Publishing: the new release becomes the game's current one; its number is returned.
  std::optional<int64_t> publish(const std::string& game, const std::string& cdnBase,
                                 const std::vector<ReleaseFile>& files, std::string* error);
  // Makes the release published before the current one current again; its number, or none (with
  // the reason) when there is none.
  std::optional<int64_t> rollBack(const std::string& game, std::string* error);
  std::optional<Release> currentRelease(const std::string& game);
  std::vector<Release> releases(const std::string& game);
  std::vector<std::string> games();

  // A new sid for a run of the game's current release; none when the game has no release.
  std::optional<std::string> newSid(const std::string& game);
  // The release a sid was given out for.
  std::optional<Release> releaseOfSid(const std::string& game, const std::string& sid);
  Outcome recordStats(const std::string& game, const std::string& sid, const std::string& event,
                      const std::string& attr1, const std::string& attr2);
  // The event counts for the release of its game that is current when it arrives.
  Outcome recordEvent(const PlayerEvent& event);

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

  GameStore(std::unique_ptr<Database> database, Clock clock);
  void loop();
  bool runBatch(std::vector<std::shared_ptr<Job>>& batch);

  std::unique_ptr<Database> database_;
  Clock clock_;
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

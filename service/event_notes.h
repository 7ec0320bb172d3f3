// The service's events.log in its state folder: a dated line for each thing that went wrong and
// that somebody looking into a player's problem should know (a list that could not be saved, a
// file that could not be removed).
#ifndef SERVICE_EVENT_NOTES_H
#define SERVICE_EVENT_NOTES_H

#include <filesystem>
#include <mutex>
#include <string>

namespace svc {

class EventNotes {
 public:
  explicit EventNotes(std::filesystem::path stateDir) : file_(std::move(stateDir) / "events.log") {}
  void note(const std::string& text);

 private:
  std::filesystem::path file_;
  std::mutex mutex_;  // one line at a time
};

}  // namespace svc

#endif

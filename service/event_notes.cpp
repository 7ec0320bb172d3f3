#include "service/event_notes.h"

#include <ctime>
#include <fstream>

namespace svc {

void EventNotes::note(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::ofstream out(file_, std::ios::binary | std::ios::app);
  const std::time_t now = std::time(nullptr);
  char stamp[32] = "";
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::gmtime(&now));
  out << stamp << " " << text << "\n";
}

}  // namespace svc

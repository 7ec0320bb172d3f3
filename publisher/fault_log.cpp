#include "publisher/fault_log.h"

#include <stdio.h>

#include <chrono>

namespace publisher {
namespace {

constexpr int64_t kQuietMs = 60000;

int64_t steadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The text on one line: a database's message may end in a line end or hold several lines.
std::string oneLine(const std::string& text) {
  std::string line;
  for (char c : text) line.push_back(c == '\n' || c == '\r' ? ' ' : c);
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace

FaultLog::FaultLog(Sink sink, Clock clock) : sink_(std::move(sink)), clock_(std::move(clock)) {
  if (!sink_) {
    sink_ = [](const std::string& line) {
      fprintf(stderr, "%s\n", line.c_str());
      fflush(stderr);
    };
  }
  if (!clock_) clock_ = steadyMilliseconds;
}

void FaultLog::report(const std::string& kind, const std::string& text) {
  const int64_t now = clock_();
  std::string line;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto [it, first] = told_.try_emplace(kind);
    Told& told = it->second;
    if (!first && now - told.at < kQuietMs) {
      ++told.since;
      return;
    }
    line = "game-server: " + kind + ": " + oneLine(text);
    if (told.since > 0) line += " (and " + std::to_string(told.since) + " more since the last report)";
    told.at = now;
    told.since = 0;
  }
  sink_(line);
}

}  // namespace publisher

// The statistics record the downloader posts as a form: "event" (one of partial_complete,
// complete, pause, unpause), "attr1" (a word) and "attr2" (a decimal), each at most once and
// nothing else.
#ifndef PUBLISHER_STATS_FORM_H
#define PUBLISHER_STATS_FORM_H

#include <optional>
#include <string>
#include <string_view>

namespace publisher {

struct StatsRecord {
  std::string event;
  std::string attr1;
  std::string attr2;
};

// The record a form body carries, or none with the reason (fit to show the client) in why.
std::optional<StatsRecord> readStatsForm(std::string_view body, std::string* why);

}  // namespace publisher

#endif

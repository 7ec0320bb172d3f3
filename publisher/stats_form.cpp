#include "publisher/stats_form.h"

#include <set>

#include "publisher/text_checks.h"
#include "web/query.h"

namespace publisher {
namespace {

constexpr size_t kLongestAttribute = 64;

std::optional<StatsRecord> refuse(std::string* why, std::string reason) {
  if (why != nullptr) *why = std::move(reason);
  return std::nullopt;
}

// A field's name as the answer may repeat it: a word, or nothing of it.
std::string shownName(const std::string& name) {
  return isWord(name, kLongestAttribute) ? name : std::string("(not a word)");
}

}  // namespace

std::optional<StatsRecord> readStatsForm(std::string_view body, std::string* why) {
  StatsRecord record;
  std::set<std::string> seen;
  for (const web::QueryParam& field : web::parseQuery(body)) {
    if (!seen.insert(field.name).second) return refuse(why, "a field is given twice: " + shownName(field.name));
    if (field.name == "event") {
      record.event = field.value;
    } else if (field.name == "attr1") {
      record.attr1 = field.value;
    } else if (field.name == "attr2") {
      record.attr2 = field.value;
    } else {
      return refuse(why, "unknown field: " + shownName(field.name));
    }
  }
  static const std::set<std::string> kEvents = {"partial_complete", "complete", "pause", "unpause"};
  if (kEvents.count(record.event) == 0) return refuse(why, "unknown statistics event");
  if (!record.attr1.empty() && !isWord(record.attr1, kLongestAttribute)) return refuse(why, "attr1 is not an identifier");
  if (!record.attr2.empty() && !isDecimal(record.attr2)) return refuse(why, "attr2 is not a decimal number");
  return record;
}

}  // namespace publisher

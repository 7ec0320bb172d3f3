// Feeds arbitrary bytes to game-server as a statistics post's form body. What is read is one of
// the downloader's records; what is refused is refused with a reason that holds no control
// character (the answer repeats it).
#include <stdint.h>

#include <string>

#include "publisher/stats_form.h"
#include "publisher/text_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  std::string why;
  const std::optional<publisher::StatsRecord> record = publisher::readStatsForm(body, &why);
  if (!record) {
    if (why.empty() || publisher::displayable(why) != why) __builtin_trap();
    return 0;
  }
  if (!publisher::isWord(record->event, 64)) __builtin_trap();
  if (!record->attr1.empty() && !publisher::isWord(record->attr1, 64)) __builtin_trap();
  if (!record->attr2.empty() && !publisher::isDecimal(record->attr2)) __builtin_trap();
  return 0;
}

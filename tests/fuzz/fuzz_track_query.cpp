// Feeds arbitrary bytes to game-server as the query of a /track/ request: Base64 of a JSON event.
// Whatever is read must be an event the store can take: player text only, its game a game code.
#include <stdint.h>

#include <string>

#include "publisher/player_event.h"
#include "publisher/text_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string query(reinterpret_cast<const char*>(data), size);
  std::string why;
  const std::optional<publisher::PlayerEvent> event = publisher::readPlayerEvent(query, &why);
  if (!event) {
    if (why.empty()) __builtin_trap();
    return 0;
  }
  for (const auto& [key, value] : event->properties) {
    if (!publisher::isPlayerText(key) || !publisher::isPlayerText(value)) __builtin_trap();
  }
  const std::string* game = event->property("game_id");
  if (game == nullptr || !publisher::isGameCode(*game)) __builtin_trap();
  if (publisher::displayable(*game) != *game) __builtin_trap();
  return 0;
}

#include "publisher/player_event.h"

#include "publisher/text_checks.h"
#include "publisher/track_query.h"

namespace publisher {
namespace {

constexpr size_t kLongestName = 64;
constexpr size_t kMostProperties = 64;
constexpr size_t kLongestPlayer = 128;

std::optional<PlayerEvent> refuse(std::string* why, std::string reason) {
  if (why != nullptr) *why = std::move(reason);
  return std::nullopt;
}

}  // namespace

const std::string* PlayerEvent::property(const std::string& key) const {
  for (const auto& [each, value] : properties) {
    if (each == key) return &value;
  }
  return nullptr;
}

std::optional<PlayerEvent> readPlayerEvent(std::string_view rawQuery, std::string* why) {
  TrackedEvent tracked = readTrackQuery(rawQuery);
  if (!tracked.readable) return refuse(why, tracked.error);
  if (!isWord(tracked.event, kLongestName)) return refuse(why, "the event name is not a word");
  if (tracked.properties.size() > kMostProperties) return refuse(why, "too many properties");
  PlayerEvent event;
  event.name = std::move(tracked.event);
  event.data = std::move(tracked.data);
  for (auto& [key, value] : tracked.properties) {
    if (key.empty() || key.size() > kLongestName || !isPlayerText(key)) {
      return refuse(why, "a property name is empty, too long or not text");
    }
    if (value.kind != web::JsonValue::Kind::String) return refuse(why, "the property " + key + " is not text");
    if (!isPlayerText(value.text)) {
      return refuse(why, "the property " + key + " holds NUL, a direction control or bytes that are not UTF-8");
    }
    event.properties.emplace_back(std::move(key), std::move(value.text));
  }
  const std::string* game = event.property("game_id");
  const std::string* player = event.property("distinct_id");
  const std::string* time = event.property("time");
  if (game == nullptr || !isGameCode(*game)) return refuse(why, "no game_id, or not a game code");
  if (player == nullptr || player->empty() || player->size() > kLongestPlayer) {
    return refuse(why, "no distinct_id, or too long");
  }
  if (time == nullptr || !isDecimal(*time)) return refuse(why, "no time, or not a decimal number");
  return event;
}

}  // namespace publisher

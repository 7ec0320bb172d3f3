// One analytics event as a player's downloader sent it to /track/, read and checked: an event name
// that is a word, at most 64 properties, each a word-sized key with a text value that is player
// text (see text_checks.h), and the game, player and time every event carries. Anything else is
// refused with the reason; the downloader's own events always pass.
#ifndef PUBLISHER_PLAYER_EVENT_H
#define PUBLISHER_PLAYER_EVENT_H

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace publisher {

struct PlayerEvent {
  std::string name;
  std::vector<std::pair<std::string, std::string>> properties;  // in order, as text
  std::string data;    // the Base64 text it came as
  std::string digest;  // SHA-256 of data, set by the server: the same event sent twice is kept once

  const std::string* property(const std::string& key) const;
};

// The event that a track request's query carries, or none with the reason in why.
std::optional<PlayerEvent> readPlayerEvent(std::string_view rawQuery, std::string* why);

}  // namespace publisher

#endif

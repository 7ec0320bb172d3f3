// A strict JSON reader for what peers send to the testbed (the analytics sink's event payloads).
// Members keep their document order and duplicates, because the order of an event's properties
// is part of what the sender is tested for. Depth and size are bounded.
#ifndef WEB_JSON_READER_H
#define WEB_JSON_READER_H

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "web/json_writer.h"

namespace web {

struct JsonValue {
  enum class Kind { Null, Boolean, Number, String, Array, Object };
  Kind kind = Kind::Null;
  bool boolean = false;
  std::string text;  // a string's value in UTF-8, or a number as written
  std::vector<JsonValue> items;
  std::vector<std::pair<std::string, JsonValue>> members;

  // The first member called name, or null.
  const JsonValue* member(std::string_view name) const;
};

constexpr size_t kMaxJsonDepth = 32;

// The one value that text holds (surrounding white space allowed), or none with the reason in error.
std::optional<JsonValue> parseJson(std::string_view text, std::string* error);

// Writes the value back, keeping member order and numbers as written.
void writeJsonValue(JsonWriter& json, const JsonValue& value);

}  // namespace web

#endif

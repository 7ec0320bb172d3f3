// JSON text for the service's answers and the request logs. Strings are escaped so that any byte
// sequence (Windows paths with backslashes, control bytes, broken UTF-8 from a hostile peer)
// still gives valid JSON.
#ifndef WEB_JSON_WRITER_H
#define WEB_JSON_WRITER_H

#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

namespace web {

// The text as a quoted JSON string. Valid UTF-8 passes through; control characters, quotes and
// backslashes are escaped; a byte that is not part of valid UTF-8 becomes \u00XX (read as Latin-1).
std::string jsonQuote(std::string_view text);

// Writes nested objects and arrays; commas and colons are placed by the writer.
class JsonWriter {
 public:
  JsonWriter& beginObject();
  JsonWriter& endObject();
  JsonWriter& beginArray();
  JsonWriter& endArray();
  JsonWriter& key(std::string_view name);
  JsonWriter& string(std::string_view text);
  JsonWriter& number(int64_t value);
  // A number already written as JSON (the caller vouches for its form).
  JsonWriter& numberText(std::string_view literal);
  JsonWriter& boolean(bool value);
  JsonWriter& null();

  const std::string& text() const { return out_; }

 private:
  void beforeValue();

  std::string out_;
  std::vector<bool> hasMembers_;  // one level per open object or array
  bool afterKey_ = false;
};

}  // namespace web

#endif

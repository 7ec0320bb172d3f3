#include "service_client/json_reader.h"

#include <ctype.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "service_client/client_errors.h"
#include "service_client/memory_and_format.h"

namespace {

bool isMissing(const char* text) { return text == nullptr || text[0] == '\0'; }

// Runs one lookup on an unescaped copy of the answer; the copy lives only for the call.
template <typename Result, typename ReadValue>
Result lookUp(const char* answer, const char* key, Result absent, ReadValue readValue) {
  char* text = _ak_jsonUnescape(answer);
  if (text == nullptr) return absent;
  const char* value = _ak_jsonFind(text, key);
  Result result = value != nullptr ? readValue(value) : absent;
  free(text);
  return result;
}

}  // namespace

char* _ak_jsonUnescape(const char* text) {
  if (isMissing(text)) {
    _ak_setLastError(ClientError::InvalidArgument);
    return nullptr;
  }
  char* copy = static_cast<char*>(_ak_alloc(strlen(text) + 1));
  if (copy == nullptr) return nullptr;
  char* out = copy;
  const char* in = text;
  for (;;) {
    // Runs without a backslash are copied whole: answers can be megabytes long.
    size_t plain = strcspn(in, "\\");
    memcpy(out, in, plain);
    out += plain;
    in += plain;
    if (*in == '\0') break;
    char escaped = *++in;
    if (escaped == '\0') break;  // a final lone backslash is dropped
    switch (escaped) {
      case 'b':
        *out++ = '\b';
        break;
      case 'f':
        *out++ = '\f';
        break;
      case 'n':
        *out++ = '\n';
        break;
      case 'r':
        *out++ = '\r';
        break;
      case 't':
        *out++ = '\t';
        break;
      default:  // \" \/ \\ and any other character stand for themselves
        *out++ = escaped;
        break;
    }
    ++in;
  }
  *out = '\0';
  return copy;
}

const char* _ak_jsonFind(const char* text, const char* key) {
  if (isMissing(text) || isMissing(key)) {
    _ak_setLastError(ClientError::InvalidArgument);
    return nullptr;
  }
  char* quoted = nullptr;
  _ak_format(0, &quoted, "\"%s\"", key);
  if (quoted == nullptr) return nullptr;
  const char* found = strstr(text, quoted);
  const char* value = nullptr;
  if (found != nullptr && found != text) {
    value = found + strlen(quoted);
    while (*value != '\0' && (isspace(static_cast<unsigned char>(*value)) || *value == ':')) ++value;
  }
  free(quoted);
  return value;
}

int _ak_jsonIsNull(const char* answer, const char* key) {
  return lookUp(answer, key, 0, [](const char* value) { return strncmp(value, "null", 4) == 0 ? 1 : 0; });
}

int _ak_jsonIsTrue(const char* answer, const char* key) {
  return lookUp(answer, key, 0, [](const char* value) { return strncmp(value, "true", 4) == 0 ? 1 : 0; });
}

int64_t _ak_jsonNumber(const char* answer, const char* key) {
  return lookUp(answer, key, int64_t{0}, [](const char* value) -> int64_t {
    double number = strtod(value, nullptr);
    // Converting a double outside the 64-bit range is undefined behaviour: clamp it instead.
    if (isnan(number)) return 0;
    if (number >= 9223372036854775807.0) return INT64_MAX;
    if (number <= -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(number);
  });
}

char* _ak_jsonString(const char* answer, const char* key) {
  return lookUp(answer, key, static_cast<char*>(nullptr), [](const char* value) -> char* {
    if (*value != '"') return nullptr;
    const char* start = value + 1;
    const char* end = strchr(start, '"');
    if (end == nullptr) return nullptr;
    size_t length = static_cast<size_t>(end - start);
    char* copy = static_cast<char*>(_ak_alloc(length + 1));
    if (copy == nullptr) return nullptr;
    memcpy(copy, start, length);
    copy[length] = '\0';
    return copy;
  });
}

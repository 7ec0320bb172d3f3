// Runs every JSON lookup on arbitrary answers. The input is "<key>\n<answer>"; the fixed member
// names the library reads are looked up in the answer as well.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "service_client/json_reader.h"

namespace {

void lookUpAll(const char* answer, const char* key) {
  _ak_jsonIsNull(answer, key);
  _ak_jsonIsTrue(answer, key);
  _ak_jsonNumber(answer, key);
  char* text = _ak_jsonString(answer, key);
  if (text != nullptr && strchr(text, '"') != nullptr) abort();  // a string value never holds a quote
  free(text);
  char* unescaped = _ak_jsonUnescape(answer);
  if (unescaped != nullptr) {
    if (strlen(unescaped) > strlen(answer)) abort();  // unescaping never lengthens the text
    const char* found = _ak_jsonFind(unescaped, key);
    if (found != nullptr && (found < unescaped || found > unescaped + strlen(unescaped))) abort();
    free(unescaped);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  size_t newline = input.find('\n');
  std::string key = newline == std::string::npos ? std::string() : input.substr(0, newline);
  std::string answer = newline == std::string::npos ? input : input.substr(newline + 1);
  // The library's texts are NUL-terminated: whatever follows a NUL is not part of them.
  lookUpAll(answer.c_str(), key.c_str());
  for (const char* member : {"status", "size", "path", "errorstring", "resetdownload", "acceptedeula"}) {
    lookUpAll(answer.c_str(), member);
  }
  return 0;
}

#include "web/request_log.h"

#include <filesystem>

#include "web/error_text.h"
#include "web/json_writer.h"
#include "web/query.h"

namespace web {
namespace {

// Civil date from days since 1970-01-01 (proleptic Gregorian), without the C library's
// thread-unsafe or platform-specific broken-down time functions.
void civilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
  days += 719468;
  int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  unsigned monthIndex = (5 * dayOfYear + 2) / 153;
  *day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  *month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  *year = static_cast<int64_t>(yearOfEra) + era * 400 + (*month <= 2 ? 1 : 0);
}

FILE* openForAppend(const std::string& path) {
#ifdef _WIN32
  return _wfopen(std::filesystem::u8path(path).c_str(), L"ab");
#else
  return fopen(path.c_str(), "ab");
#endif
}

}  // namespace

std::string formatUtcTime(std::chrono::system_clock::time_point when) {
  int64_t millis = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  int64_t days = millis >= 0 ? millis / 86400000 : (millis - 86399999) / 86400000;
  int64_t inDay = millis - days * 86400000;
  int64_t year;
  unsigned month;
  unsigned day;
  civilFromDays(days, &year, &month, &day);
  char text[96];
  snprintf(text, sizeof text, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(year), month,
           day, static_cast<long long>(inDay / 3600000), static_cast<long long>(inDay / 60000 % 60),
           static_cast<long long>(inDay / 1000 % 60), static_cast<long long>(inDay % 1000));
  return text;
}

std::string requestLogLine(const HttpRequest& request, uint64_t connectionId,
                           std::chrono::system_clock::time_point when) {
  JsonWriter json;
  json.beginObject();
  writeRequestFields(json, request, connectionId, when);
  json.endObject();
  return json.text();
}

void writeRequestFields(JsonWriter& json, const HttpRequest& request, uint64_t connectionId,
                        std::chrono::system_clock::time_point when) {
  QueryParams params = parseQuery(request.rawQuery);
  json.key("time").string(formatUtcTime(when));
  json.key("connection").number(static_cast<int64_t>(connectionId));
  json.key("method").string(request.method);
  json.key("target").string(request.target);
  json.key("path").string(request.path);
  if (const QueryParam* function = findParam(params, "function")) json.key("function").string(function->value);
  json.key("query").beginArray();
  for (const auto& param : params) {
    json.beginArray().string(param.name);
    if (param.hasValue) {
      json.string(param.value);
    } else {
      json.null();
    }
    json.endArray();
  }
  json.endArray();
  json.key("headers").beginArray();
  for (const auto& header : request.headers) json.beginArray().string(header.name).string(header.value).endArray();
  json.endArray();
  // A POST shows its body even when empty: an empty form is worth seeing in a test.
  if (!request.body.empty() || request.method == "POST") json.key("body").string(request.body);
}

RequestLog::RequestLog(const std::string& path) : path_(path) {
  if (!path_.empty()) file_ = openForAppend(path_);
}

RequestLog::~RequestLog() {
  if (file_ != nullptr) fclose(file_);
}

bool RequestLog::usable(std::string* error) const {
  if (path_.empty() || file_ != nullptr) return true;
  return failWith(error, "cannot open the request log " + path_);
}

void RequestLog::record(const HttpRequest& request, uint64_t connectionId) {
  if (file_ == nullptr) return;
  recordLine(requestLogLine(request, connectionId, std::chrono::system_clock::now()));
}

void RequestLog::recordLine(std::string line) {
  if (file_ == nullptr) return;
  line.push_back('\n');
  std::lock_guard<std::mutex> lock(mutex_);
  fwrite(line.data(), 1, line.size(), file_);
  fflush(file_);
}

}  // namespace web

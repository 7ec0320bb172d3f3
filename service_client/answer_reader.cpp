#include "service_client/answer_reader.h"

#include "service_client/client_errors.h"
#include "service_client/json_reader.h"

void AnswerReader::afterLookup() {
  if (ak_getLastError() == static_cast<int32_t>(ClientError::InsufficientMemory)) outOfMemory_ = true;
  if (outOfMemory_) {
    _ak_setLastError(ClientError::InsufficientMemory);
  } else {
    _ak_setLastError(ClientError::InternalFailure);
  }
}

char* AnswerReader::string(const char* key) { return lookUp(_ak_jsonString, key); }

int32_t AnswerReader::flagTrue(const char* key) { return lookUp(_ak_jsonIsTrue, key); }

int32_t AnswerReader::isNull(const char* key) { return lookUp(_ak_jsonIsNull, key); }

int64_t AnswerReader::number(const char* key) { return lookUp(_ak_jsonNumber, key); }

bool _ak_equalsIgnoringCase(const char* a, const char* b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (lower(*a) != lower(*b)) return false;
  }
  return *a == *b;
}

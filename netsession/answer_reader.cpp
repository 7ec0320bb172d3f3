#include "netsession/answer_reader.h"

#include "netsession/client_errors.h"
#include "netsession/json_reader.h"

void AnswerReader::afterLookup() {
  if (ak_getLastError() == static_cast<int32_t>(ClientError::InsufficientMemory)) outOfMemory_ = true;
  if (outOfMemory_) {
    _ak_setLastError(ClientError::InsufficientMemory);
  } else {
    _ak_setLastError(ClientError::InternalFailure);
  }
}

char* AnswerReader::string(const char* key) {
  _ak_setLastError(ClientError::InternalFailure);
  char* value = _ak_jsonString(answer_, key);
  afterLookup();
  return value;
}

int32_t AnswerReader::flagTrue(const char* key) {
  _ak_setLastError(ClientError::InternalFailure);
  int32_t value = _ak_jsonIsTrue(answer_, key);
  afterLookup();
  return value;
}

int32_t AnswerReader::isNull(const char* key) {
  _ak_setLastError(ClientError::InternalFailure);
  int32_t value = _ak_jsonIsNull(answer_, key);
  afterLookup();
  return value;
}

int64_t AnswerReader::number(const char* key) {
  _ak_setLastError(ClientError::InternalFailure);
  int64_t value = _ak_jsonNumber(answer_, key);
  afterLookup();
  return value;
}

bool _ak_equalsIgnoringCase(const char* a, const char* b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (lower(*a) != lower(*b)) return false;
  }
  return *a == *b;
}

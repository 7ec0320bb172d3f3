// Reads members of one service answer for an operation, telling an absent member (no error)
// apart from a lookup that ran out of memory, so operations can report InsufficientMemory
// instead of mistaking it for a missing value.
#ifndef SERVICE_CLIENT_ANSWER_READER_H
#define SERVICE_CLIENT_ANSWER_READER_H

#include <stdint.h>

#include "service_client/client_errors.h"

class AnswerReader {
 public:
  explicit AnswerReader(const char* answer) : answer_(answer) {}

  // New string or null; flag; number. Each leaves InternalFailure as the provisional error.
  char* string(const char* key);
  int32_t flagTrue(const char* key);
  int32_t isNull(const char* key);
  int64_t number(const char* key);

  // True once any lookup failed for lack of memory; the last error is then InsufficientMemory.
  bool outOfMemory() const { return outOfMemory_; }

 private:
  void afterLookup();

  // Runs one lookup with InternalFailure as the provisional error, noting a lack of memory.
  template <typename Result>
  Result lookUp(Result (*lookup)(const char*, const char*), const char* key) {
    _ak_setLastError(ClientError::InternalFailure);
    Result value = lookup(answer_, key);
    afterLookup();
    return value;
  }

  const char* answer_;
  bool outOfMemory_ = false;
};

// ASCII comparison without regard to case.
bool _ak_equalsIgnoringCase(const char* a, const char* b);

#endif

#include "service_client/memory_and_format.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "service_client/client_errors.h"
#include "service_client/test_hooks.h"

#ifdef AK_TEST_HOOKS
#include <atomic>

namespace {
std::atomic<long> g_allocationsMade{0};
std::atomic<long> g_failingAllocation{-1};
}  // namespace

void _ak_testFailAllocation(long index) {
  g_allocationsMade = 0;
  g_failingAllocation = index;
}

long _ak_testAllocationCount() { return g_allocationsMade; }

static bool allocationShouldFail() {
  long index = g_allocationsMade++;
  return index == g_failingAllocation;
}
#else
static bool allocationShouldFail() { return false; }
#endif

void* _ak_alloc(size_t size) {
  void* memory = allocationShouldFail() ? nullptr : malloc(size == 0 ? 1 : size);
  if (memory == nullptr) _ak_setLastError(ClientError::InsufficientMemory);
  return memory;
}

char* _ak_duplicate(const char* text) {
  size_t length = strlen(text);
  char* copy = static_cast<char*>(_ak_alloc(length + 1));
  if (copy != nullptr) memcpy(copy, text, length + 1);
  return copy;
}

size_t _ak_vformat(size_t startSize, char** out, const char* format, va_list arguments) {
  *out = nullptr;
  size_t size = startSize == 0 ? 256 : startSize;
  for (;;) {
    char* buffer = static_cast<char*>(_ak_alloc(size));
    if (buffer == nullptr) return 0;
    va_list copy;
    va_copy(copy, arguments);
    int length = vsnprintf(buffer, size, format, copy);
    va_end(copy);
    if (length < 0) {
      free(buffer);
      _ak_setLastError(ClientError::InternalFailure);
      return 0;
    }
    if (static_cast<size_t>(length) < size) {
      *out = buffer;
      return static_cast<size_t>(length);
    }
    free(buffer);
    if (size > SIZE_MAX / 2) {
      _ak_setLastError(ClientError::InsufficientMemory);
      return 0;
    }
    size *= 2;
  }
}

size_t _ak_format(size_t startSize, char** out, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  size_t length = _ak_vformat(startSize, out, format, arguments);
  va_end(arguments);
  return length;
}

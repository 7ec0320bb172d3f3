// Feeds arbitrary bytes to the reader of the download service's file list, as a disk fault or a
// half-written file would leave it: whatever it holds, the reader returns records or nothing, and
// what it returns survives a write and a second read unchanged.
#include <stdint.h>

#include <string>

#include "service/file_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  bool damaged = false;
  const std::vector<svc::FileRecord> records = svc::readRegistryText(text, &damaged);
  for (const svc::FileRecord& record : records) {
    if (record.url.empty() || record.size < -1) __builtin_trap();
  }
  return 0;
}

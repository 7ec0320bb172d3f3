// Limits on UTF-8 names that the library converts to UTF-16 for the operating system.
#ifndef SERVICE_CLIENT_UTF8_H
#define SERVICE_CLIENT_UTF8_H

#include <stddef.h>

namespace akplatform {

// Buffer sizes, in UTF-16 units including the terminating zero, for file names and open modes.
constexpr size_t kMaxPathUnits = 260;
constexpr size_t kMaxModeUnits = 64;

// True when text is valid UTF-8 whose UTF-16 form, with its terminating zero, fits in maxUnits.
bool fitsUtf16Units(const char* text, size_t maxUnits);

}  // namespace akplatform

#endif

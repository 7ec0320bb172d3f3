// Allocation and formatting helpers: every allocation of the library goes through _ak_alloc,
// so an allocation failure always reports InsufficientMemory (and tests can force one).
#ifndef SERVICE_CLIENT_MEMORY_AND_FORMAT_H
#define SERVICE_CLIENT_MEMORY_AND_FORMAT_H

#include <stdarg.h>
#include <stddef.h>

#if defined(__GNUC__)
#define AK_PRINTF_LIKE(formatIndex, firstArgument) __attribute__((format(printf, formatIndex, firstArgument)))
#else
#define AK_PRINTF_LIKE(formatIndex, firstArgument)
#endif

// Memory the caller releases with free(); null (with InsufficientMemory set) on failure.
void* _ak_alloc(size_t size);

// Copies a NUL-terminated text into new memory; null on allocation failure.
char* _ak_duplicate(const char* text);

// Formats into a newly allocated text, starting with a buffer of startSize bytes (256 when 0)
// and doubling it until the text fits. Returns the text's length and stores it in *out, or
// returns 0 and stores null when memory runs out.
size_t _ak_format(size_t startSize, char** out, const char* format, ...) AK_PRINTF_LIKE(3, 4);
size_t _ak_vformat(size_t startSize, char** out, const char* format, va_list arguments);

#endif

// Reads single members out of the service's JSON answers by key, without building a tree.
// Escapes are resolved first and the quoted key is then found by plain substring search, so a
// key matches at any depth, the first occurrence wins and a string value ends at the first quote.
#ifndef SERVICE_CLIENT_JSON_READER_H
#define SERVICE_CLIENT_JSON_READER_H

#include <stdint.h>

// New copy of text with backslash escapes resolved; null with InvalidArgument for a null or
// empty text, or with InsufficientMemory.
char* _ak_jsonUnescape(const char* text);

// Position just after "key" and the white space and colons that follow it; null when the key is
// absent or starts the text. Null or empty arguments set InvalidArgument.
const char* _ak_jsonFind(const char* text, const char* key);

// 1 when the key's value begins with null (respectively true), else 0.
int _ak_jsonIsNull(const char* answer, const char* key);
int _ak_jsonIsTrue(const char* answer, const char* key);

// The value read as a decimal number truncated toward zero; 0 when absent or not a number.
int64_t _ak_jsonNumber(const char* answer, const char* key);

// New copy of a string value (up to the next quote), or null when absent or not a string.
char* _ak_jsonString(const char* answer, const char* key);

#endif

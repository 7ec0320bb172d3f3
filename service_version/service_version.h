// The download service's build version: four numbers "major.minor.patch.build", each 0 to 65535
// (the four 16-bit halves of a Windows file version). The service reports it as its
// "executableversion"; the client library compares it with the version it was built with, and the
// service's installer compares the program it carries with the one installed.
#ifndef SERVICE_VERSION_SERVICE_VERSION_H
#define SERVICE_VERSION_SERVICE_VERSION_H

#include <stddef.h>
#include <stdint.h>

struct ServiceVersion {
  uint16_t parts[4];
};

// Reads exactly four decimal numbers separated by dots, each without sign, space or leading zero
// and at most 65535. False for anything else (also null), leaving version as it was.
bool ParseServiceVersion(const char* text, ServiceVersion* version);

// Below zero when a is older than b, zero when equal, above zero when newer.
int CompareServiceVersions(const ServiceVersion& a, const ServiceVersion& b);

// Whether the service that reports reported (its text, possibly null) should be replaced by one of
// version built: when it is older, or when it reports no readable version (every build of ours
// reports one, so such a service predates versioned builds).
bool ServiceIsOlder(const char* reported, const ServiceVersion& built);

// "a.b.c.d" into text (room for 24 bytes is always enough).
void FormatServiceVersion(const ServiceVersion& version, char* text, size_t capacity);

// The file version of a Windows version resource (the bytes of an RT_VERSION resource): from its
// fixed part (VS_FIXEDFILEINFO, found by its signature). False when there is none.
bool VersionOfVersionResource(const void* bytes, size_t size, ServiceVersion* version);

#endif

#include "service_version/service_version.h"

#include <stdio.h>
#include <string.h>

namespace {

constexpr uint32_t kFixedInfoSignature = 0xFEEF04BDu;
// VS_FIXEDFILEINFO: signature, structure version, then the file version's high and low words.
constexpr size_t kFixedInfoSize = 52;

uint32_t littleEndian32(const unsigned char* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
         static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace

bool ParseServiceVersion(const char* text, ServiceVersion* version) {
  if (text == nullptr || version == nullptr) return false;
  ServiceVersion read{};
  const char* at = text;
  for (int part = 0; part < 4; ++part) {
    if (part > 0 && *at++ != '.') return false;
    if (*at < '0' || *at > '9') return false;
    // A leading zero would give one version two spellings.
    if (*at == '0' && at[1] >= '0' && at[1] <= '9') return false;
    uint32_t value = 0;
    while (*at >= '0' && *at <= '9') {
      value = value * 10 + static_cast<uint32_t>(*at++ - '0');
      if (value > 65535) return false;
    }
    read.parts[part] = static_cast<uint16_t>(value);
  }
  if (*at != '\0') return false;
  *version = read;
  return true;
}

int CompareServiceVersions(const ServiceVersion& a, const ServiceVersion& b) {
  for (int part = 0; part < 4; ++part) {
    if (a.parts[part] != b.parts[part]) return a.parts[part] < b.parts[part] ? -1 : 1;
  }
  return 0;
}

bool ServiceIsOlder(const char* reported, const ServiceVersion& built) {
  ServiceVersion running;
  if (!ParseServiceVersion(reported, &running)) return true;
  return CompareServiceVersions(running, built) < 0;
}

void FormatServiceVersion(const ServiceVersion& version, char* text, size_t capacity) {
  if (text == nullptr || capacity == 0) return;
  snprintf(text, capacity, "%u.%u.%u.%u", version.parts[0], version.parts[1], version.parts[2], version.parts[3]);
}

bool VersionOfVersionResource(const void* bytes, size_t size, ServiceVersion* version) {
  if (bytes == nullptr || version == nullptr) return false;
  const unsigned char* data = static_cast<const unsigned char*>(bytes);
  // The fixed part is 32-bit aligned within the resource.
  for (size_t at = 0; at + kFixedInfoSize <= size; at += 4) {
    if (littleEndian32(data + at) != kFixedInfoSignature) continue;
    const uint32_t high = littleEndian32(data + at + 8);
    const uint32_t low = littleEndian32(data + at + 12);
    version->parts[0] = static_cast<uint16_t>(high >> 16);
    version->parts[1] = static_cast<uint16_t>(high & 0xFFFF);
    version->parts[2] = static_cast<uint16_t>(low >> 16);
    version->parts[3] = static_cast<uint16_t>(low & 0xFFFF);
    return true;
  }
  return false;
}

#include "service_client/utf8.h"

#include <stdint.h>

namespace akplatform {

bool fitsUtf16Units(const char* text, size_t maxUnits) {
  if (text == nullptr) return false;
  size_t units = 0;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  while (*p != 0) {
    uint32_t lead = *p;
    int continuation;
    uint32_t codePoint;
    if (lead < 0x80) {
      continuation = 0;
      codePoint = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      continuation = 1;
      codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      continuation = 2;
      codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      continuation = 3;
      codePoint = lead & 0x07;
    } else {
      return false;
    }
    ++p;
    for (int i = 0; i < continuation; ++i, ++p) {
      if ((*p & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (*p & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
    static const uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (codePoint < kSmallest[continuation] || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
      return false;
    }
    units += codePoint >= 0x10000 ? 2 : 1;
  }
  return units + 1 <= maxUnits;
}

}  // namespace akplatform

// Read-only access to a resource's bytes in the module's image.
#ifndef UI_RESOURCE_DATA_H
#define UI_RESOURCE_DATA_H

#include <windows.h>

#include <cstddef>
#include <string>

struct ResourceData {
  const void* bytes = nullptr;
  size_t size = 0;
};

// The bytes of resource id of the given type, or an empty record when it is missing.
ResourceData LoadResourceData(int id, int type);

// A text stored as UTF-16 little-endian (a leading byte-order mark is dropped, an odd last byte
// ignored), as the licence text is.
std::wstring Utf16TextFromBytes(const void* bytes, size_t size);

#endif

#include "ui/resource_data.h"

#include <cstring>

#include "ui/app_module.h"

ResourceData LoadResourceData(int id, int type) {
  HINSTANCE module = AppModule().ResourceInstance();
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
  if (found == nullptr) return {};
  HGLOBAL loaded = LoadResource(module, found);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return {};
  return {bytes, static_cast<size_t>(SizeofResource(module, found))};
}

std::wstring Utf16TextFromBytes(const void* bytes, size_t size) {
  const size_t units = size / 2;
  std::wstring text(units, L'\0');
  // Assembled from byte pairs: the resource need not be aligned for wchar_t.
  const auto* data = static_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < units; ++i) text[i] = static_cast<wchar_t>(data[2 * i] | (data[2 * i + 1] << 8));
  if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
  return text;
}

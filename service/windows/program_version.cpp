#include "service/windows/program_version.h"

#include <windows.h>

namespace svc {

std::optional<ServiceVersion> ProgramVersion(const std::wstring& path) {
  // Mapped as data only: nothing of the program runs, and no DLL it names is loaded.
  HMODULE image = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (image == nullptr) return std::nullopt;
  std::optional<ServiceVersion> found;
  HRSRC resource = FindResourceW(image, MAKEINTRESOURCEW(1) /* VS_VERSION_INFO */, MAKEINTRESOURCEW(16) /* RT_VERSION */);
  HGLOBAL loaded = resource != nullptr ? LoadResource(image, resource) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  ServiceVersion version{};
  if (bytes != nullptr && VersionOfVersionResource(bytes, SizeofResource(image, resource), &version)) found = version;
  FreeLibrary(image);
  return found;
}

}  // namespace svc

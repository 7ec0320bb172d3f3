#include "service/windows_paths.h"

namespace svc {

std::vector<std::wstring> NamesAlongPath(const std::wstring& full) {
  std::vector<std::wstring> names;
  // A UNC path's first two names are the server and the share, which the client cannot swap.
  size_t from = 3;
  if (full.rfind(L"\\\\", 0) == 0) {
    const size_t server = full.find(L'\\', 2);
    from = server == std::wstring::npos ? std::wstring::npos : full.find(L'\\', server + 1);
    if (from == std::wstring::npos) return names;
    ++from;
  }
  for (size_t at = full.find(L'\\', from);; at = full.find(L'\\', at + 1)) {
    if (at == std::wstring::npos) {
      if (full.size() > from) names.push_back(full);
      return names;
    }
    if (at > from) names.push_back(full.substr(0, at));
  }
}

std::wstring PlainFinalPath(const std::wstring& finalPath) {
  if (finalPath.rfind(L"\\\\?\\UNC\\", 0) == 0) return L"\\\\" + finalPath.substr(8);
  if (finalPath.rfind(L"\\\\?\\", 0) == 0) return finalPath.substr(4);
  return finalPath;
}

}  // namespace svc

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

bool PathTooLong(const std::wstring& full, bool longPathsAllowed, bool folderExists) {
  constexpr size_t kLongestName = 255;
  constexpr size_t kLongestPath = 259;
  constexpr size_t kLongestFolder = 247;
  // The longest a path takes even with long paths, less the "\\?\UNC\" Windows may put before it.
  constexpr size_t kLongestLongPath = 32767 - 8;
  size_t nameStart = 0;
  for (size_t at = 0; at <= full.size(); ++at) {
    if (at == full.size() || full[at] == L'\\' || full[at] == L'/') {
      if (at - nameStart > kLongestName) return true;
      nameStart = at + 1;
    }
  }
  if (longPathsAllowed) return full.size() > kLongestLongPath;
  const size_t folderEnd = full.find_last_of(L"\\/");
  return full.size() > kLongestPath || (!folderExists && folderEnd != std::wstring::npos && folderEnd > kLongestFolder);
}

}  // namespace svc

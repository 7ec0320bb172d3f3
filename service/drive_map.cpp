#include "service/drive_map.h"

#include <exception>
#include <vector>

namespace svc {
namespace {

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }
bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isWindowsAbsolute(std::string_view path) {
  return path.size() >= 3 && isLetter(path[0]) && path[1] == ':' && isSeparator(path[2]);
}

// Path components between separators; false when one of them is "..".
bool splitComponents(std::string_view rest, std::vector<std::string_view>& parts) {
  while (!rest.empty()) {
    size_t end = 0;
    while (end < rest.size() && !isSeparator(rest[end])) ++end;
    std::string_view part = rest.substr(0, end);
    rest.remove_prefix(end < rest.size() ? end + 1 : end);
    if (part.empty() || part == ".") continue;
    if (part == "..") return false;
    parts.push_back(part);
  }
  return true;
}

}  // namespace

bool DriveMap::addMapping(std::string_view mapping) {
  if (mapping.size() < 3 || !isLetter(mapping[0]) || mapping[1] != '=') return false;
  add(mapping[0], std::filesystem::u8path(mapping.substr(2)));
  return true;
}

void DriveMap::add(char letter, const std::filesystem::path& folder) { drives_[upper(letter)] = folder; }

MappedPath DriveMap::toLocal(std::string_view clientPath) const {
  try {
    return mapToLocal(clientPath);
  } catch (const std::exception&) {
    // Text that is not UTF-8 cannot become a Windows file name.
    MappedPath refused;
    refused.error = "Invalid path.";
    return refused;
  }
}

MappedPath DriveMap::mapToLocal(std::string_view clientPath) const {
  MappedPath mapped;
  std::vector<std::string_view> parts;
  if (isWindowsAbsolute(clientPath)) {
    auto drive = drives_.find(upper(clientPath[0]));
    std::filesystem::path base;
    if (drive != drives_.end()) {
      base = drive->second;
    } else {
#ifdef _WIN32
      base = std::filesystem::u8path(std::string(clientPath.substr(0, 2)) + "\\");
#else
      mapped.error = "Invalid path: drive " + std::string(1, upper(clientPath[0])) + ": is not mapped.";
      return mapped;
#endif
    }
    if (!splitComponents(clientPath.substr(3), parts) || parts.empty()) {
      mapped.error = "Invalid path.";
      return mapped;
    }
    for (auto part : parts) base /= std::filesystem::u8path(part);
    mapped.ok = true;
    mapped.local = base;
    return mapped;
  }
  if (!clientPath.empty() && clientPath.front() == '/' && splitComponents(clientPath, parts) && !parts.empty()) {
    mapped.ok = true;
    mapped.local = std::filesystem::u8path(clientPath);
    return mapped;
  }
  mapped.error = "Invalid path.";
  return mapped;
}

std::string DriveMap::toClient(const std::filesystem::path& local) const {
  std::string text = local.generic_u8string();
  const std::string* bestFolder = nullptr;
  std::string bestText;
  char bestLetter = 0;
  for (const auto& [letter, folder] : drives_) {
    std::string folderText = folder.generic_u8string();
    while (folderText.size() > 1 && folderText.back() == '/') folderText.pop_back();
    bool inside = folderText == "/" ? !text.empty() && text.front() == '/'
                                    : text.rfind(folderText, 0) == 0 &&
                                          (text.size() == folderText.size() || text[folderText.size()] == '/');
    // The most specific folder wins: "C=/tmp/c" over "Z=/".
    if (inside && (bestFolder == nullptr || folderText.size() > bestText.size())) {
      bestText = folderText;
      bestFolder = &bestText;
      bestLetter = letter;
    }
  }
  if (bestFolder == nullptr) return text;
  std::string rest = text.substr(bestText == "/" ? 0 : bestText.size());
  std::string windows(1, bestLetter);
  windows.append(":");
  for (char c : rest) windows.push_back(c == '/' ? '\\' : c);
  if (windows.size() == 2) windows.push_back('\\');
  return windows;
}

}  // namespace svc

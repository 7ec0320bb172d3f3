#include "server/game_config.h"

#include <algorithm>

namespace {

constexpr size_t kMaxNameLength = 255;

wchar_t upper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

bool isForbiddenCharacter(wchar_t c) {
  if (c < 0x20 || c == 0x7F) return true;
  return std::wstring(L"\\/:*?\"<>|").find(c) != std::wstring::npos;
}

// Windows opens a device for these names whatever extension follows them ("NUL.txt" is NUL).
bool isDeviceName(const std::wstring& name) {
  std::wstring stem = name.substr(0, name.find(L'.'));
  while (!stem.empty() && stem.back() == L' ') stem.pop_back();
  std::transform(stem.begin(), stem.end(), stem.begin(), upper);
  static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* device : kDevices) {
    if (stem == device) return true;
  }
  if (stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0)) {
    wchar_t digit = stem[3];
    // Superscript one to three count as digits too.
    return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
  }
  return false;
}

}  // namespace

ResourceFile* GameConfig::FileAt(int32_t index) {
  if (index < 0 || static_cast<size_t>(index) >= files.size()) return nullptr;
  return &files[static_cast<size_t>(index)];
}

const ResourceFile* GameConfig::FileAt(int32_t index) const { return const_cast<GameConfig*>(this)->FileAt(index); }

uint64_t GameConfig::TotalReceived() const {
  uint64_t total = 0;
  for (const ResourceFile& file : files) total += file.received;
  return total;
}

std::wstring GameConfig::InstallerPath() const { return files.empty() ? std::wstring() : files.front().localPath; }

std::wstring LocalNameOf(const std::wstring& uri) {
  size_t slash = uri.rfind(L'/');
  return slash == std::wstring::npos ? uri : uri.substr(slash + 1);
}

bool IsSafeLocalName(const std::wstring& name) {
  if (name.empty() || name.size() > kMaxNameLength) return false;
  if (std::any_of(name.begin(), name.end(), isForbiddenCharacter)) return false;
  // Covers "." and ".." too; Windows strips trailing dots and blanks, which would make two
  // different names one file.
  if (name.back() == L'.' || name.back() == L' ') return false;
  return !isDeviceName(name);
}

bool AssignLocalPaths(GameConfig& config, const std::wstring& downloadFolder) {
  bool allSafe = true;
  for (ResourceFile& file : config.files) {
    std::wstring name = LocalNameOf(file.uri);
    if (IsSafeLocalName(name)) {
      file.localPath = downloadFolder + L"\\" + name;
    } else {
      file.localPath.clear();
      allSafe = false;
    }
  }
  return allSafe;
}

bool ReadDigests(GameConfig& config) {
  bool wellFormed = true;
  for (ResourceFile& file : config.files) {
    if (!file.sha256Text) continue;
    file.sha256 = ParseSha256Text(*file.sha256Text);
    if (!file.sha256) wellFormed = false;
  }
  return wellFormed;
}

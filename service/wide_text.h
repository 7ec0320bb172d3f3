// UTF-8 and the UTF-16 of the Windows API. Text that is not valid gives an empty result.
#ifndef SERVICE_WIDE_TEXT_H
#define SERVICE_WIDE_TEXT_H

#ifdef _WIN32
#include <windows.h>

#include <string>
#include <string_view>

namespace svc {

inline std::wstring toWide(std::string_view text) {
  if (text.empty()) return std::wstring();
  int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

inline std::string toUtf8(std::wstring_view text) {
  if (text.empty()) return std::string();
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length, nullptr, nullptr);
  return narrow;
}

}  // namespace svc

#endif
#endif

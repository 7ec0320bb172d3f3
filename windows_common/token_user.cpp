#include "windows_common/token_user.h"

namespace wincommon {
namespace {

// One class of information about a token; empty when it cannot be read.
std::vector<BYTE> informationOfToken(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  DWORD size = 0;
  GetTokenInformation(token, kind, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size == 0 || !GetTokenInformation(token, kind, buffer.data(), size, &size)) buffer.clear();
  return buffer;
}

// The same about the process's token.
std::vector<BYTE> tokenInformation(HANDLE process, TOKEN_INFORMATION_CLASS kind) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
  std::vector<BYTE> buffer = informationOfToken(token, kind);
  CloseHandle(token);
  return buffer;
}

std::optional<uint32_t> integrityOfLabel(const std::vector<BYTE>& label) {
  if (label.empty()) return std::nullopt;
  PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(label.data())->Label.Sid;
  const UCHAR count = IsValidSid(sid) ? *GetSidSubAuthorityCount(sid) : 0;
  if (count == 0) return std::nullopt;
  return *GetSidSubAuthority(sid, count - 1);
}

}  // namespace

std::vector<BYTE> TokenUserSid(HANDLE process) {
  const std::vector<BYTE> user = tokenInformation(process, TokenUser);
  if (user.empty()) return {};
  PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
  std::vector<BYTE> copy(GetLengthSid(sid));
  if (!CopySid(static_cast<DWORD>(copy.size()), copy.data(), sid)) copy.clear();
  return copy;
}

std::optional<uint32_t> ProcessIntegrityLevel(HANDLE process) {
  return integrityOfLabel(tokenInformation(process, TokenIntegrityLevel));
}

std::optional<uint32_t> IntegrityLevelOfToken(HANDLE token) {
  return integrityOfLabel(informationOfToken(token, TokenIntegrityLevel));
}

}  // namespace wincommon

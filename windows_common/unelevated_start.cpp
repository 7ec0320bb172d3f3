#include "windows_common/unelevated_start.h"

#include "windows_common/token_user.h"

namespace wincommon {
namespace {

// The rights CreateProcessWithTokenW documents for its token (query, duplicate, assign as
// primary), and the default and session adjustments the system may make to fit it to this session.
constexpr DWORD kStartTokenRights =
    TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID;

StartOutcome failed(StartProblem problem, DWORD error) {
  StartOutcome outcome;
  outcome.problem = problem;
  outcome.error = error;
  return outcome;
}

// The primary token of the desktop shell (Explorer): the user's own, unelevated, whatever account
// this process was elevated as. Null with the problem set when it cannot be had.
HANDLE shellPrimaryToken(StartOutcome* problem) {
  HWND shell = GetShellWindow();
  DWORD shellProcessId = 0;
  if (shell == nullptr || GetWindowThreadProcessId(shell, &shellProcessId) == 0 || shellProcessId == 0) {
    *problem = failed(StartProblem::NoDesktopShell, ERROR_NOT_FOUND);
    return nullptr;
  }
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellProcessId);
  if (process == nullptr) {
    *problem = failed(StartProblem::ShellTokenUnusable, GetLastError());
    return nullptr;
  }
  HANDLE token = nullptr;
  const BOOL opened = OpenProcessToken(process, TOKEN_DUPLICATE, &token);
  const DWORD openError = GetLastError();
  CloseHandle(process);
  if (!opened) {
    *problem = failed(StartProblem::ShellTokenUnusable, openError);
    return nullptr;
  }
  HANDLE primary = nullptr;
  const BOOL duplicated = DuplicateTokenEx(token, kStartTokenRights, nullptr, SecurityImpersonation, TokenPrimary, &primary);
  const DWORD duplicateError = GetLastError();
  CloseHandle(token);
  if (!duplicated) {
    *problem = failed(StartProblem::ShellTokenUnusable, duplicateError);
    return nullptr;
  }
  return primary;
}

}  // namespace

bool AboveNormalRights(const TokenStanding& standing) {
  if (standing.type != TokenElevationTypeFull) return false;
  if (standing.integrity && standing.linkedIntegrity) return *standing.linkedIntegrity < *standing.integrity;
  return true;
}

TokenStanding CurrentTokenStanding() {
  TokenStanding standing;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return standing;
  TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
  DWORD size = 0;
  if (GetTokenInformation(token, TokenElevationType, &type, sizeof type, &size)) standing.type = type;
  standing.integrity = IntegrityLevelOfToken(token);
  TOKEN_LINKED_TOKEN linked{};
  if (standing.type != TokenElevationTypeDefault &&
      GetTokenInformation(token, TokenLinkedToken, &linked, sizeof linked, &size)) {
    standing.linkedIntegrity = IntegrityLevelOfToken(linked.LinkedToken);
    CloseHandle(linked.LinkedToken);
  }
  CloseHandle(token);
  return standing;
}

StartOutcome StartWithShellToken(const std::wstring& commandLine, const wchar_t* folder, const STARTUPINFOW& startup) {
  StartOutcome outcome;
  HANDLE token = shellPrimaryToken(&outcome);
  if (token == nullptr) return outcome;
  std::wstring writable = commandLine;
  STARTUPINFOW info = startup;
  // No profile to load: the desktop's user is signed in, with the profile loaded. A null
  // environment is the one made from that user's profile.
  if (!CreateProcessWithTokenW(token, 0, nullptr, &writable[0], 0, nullptr, folder, &info, &outcome.process)) {
    outcome = failed(StartProblem::CannotStart, GetLastError());
  }
  CloseHandle(token);
  return outcome;
}

StartOutcome StartWithNormalRights(const std::wstring& commandLine, const wchar_t* folder, const STARTUPINFOW& startup) {
  if (AboveNormalRights(CurrentTokenStanding())) return StartWithShellToken(commandLine, folder, startup);
  StartOutcome outcome;
  std::wstring writable = commandLine;
  STARTUPINFOW info = startup;
  if (!CreateProcessW(nullptr, &writable[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, folder, &info,
                      &outcome.process)) {
    outcome = failed(StartProblem::CannotStart, GetLastError());
  }
  return outcome;
}

}  // namespace wincommon

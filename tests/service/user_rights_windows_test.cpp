// Never elevated by accident, under Wine: when a process counts as run "as administrator" (and so
// starts programs through the desktop shell's token), and programs started and waited for.
// Wine runs every program with the elevated half of a split token whose two halves carry one
// integrity level, has no desktop shell window, and ignores the token given to
// CreateProcessWithTokenW: the shell's token route is tested up to its missing shell here, and
// the elevated cases as a decision.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "windows_common/token_user.h"
#include "windows_common/unelevated_start.h"

namespace {

constexpr uint32_t kMedium = SECURITY_MANDATORY_MEDIUM_RID;
constexpr uint32_t kHigh = SECURITY_MANDATORY_HIGH_RID;

TEST(NormalRights, OnlyTheElevatedHalfOfASplitTokenWithALowerHalfIsAboveThem) {
  struct Case {
    const char* what;
    wincommon::TokenStanding standing;
    bool above;
  };
  const Case cases[] = {
      {"run as administrator with UAC on", {TokenElevationTypeFull, kHigh, kMedium}, true},
      {"elevated, its other half unreadable", {TokenElevationTypeFull, kHigh, std::nullopt}, true},
      {"elevated, its own level unreadable", {TokenElevationTypeFull, std::nullopt, kMedium}, true},
      {"elevated, both halves at one level (Wine)", {TokenElevationTypeFull, kHigh, kHigh}, false},
      {"the unelevated half of an administrator", {TokenElevationTypeLimited, kMedium, kHigh}, false},
      {"UAC off, or the built-in Administrator", {TokenElevationTypeDefault, kHigh, std::nullopt}, false},
      {"a standard user", {TokenElevationTypeDefault, kMedium, std::nullopt}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(wincommon::AboveNormalRights(c.standing), c.above) << c.what;
}

TEST(NormalRights, ThisProcessReadsAsRunningWithItsUsersNormalRights) {
  const wincommon::TokenStanding mine = wincommon::CurrentTokenStanding();
  ASSERT_TRUE(mine.integrity.has_value());
  EXPECT_EQ(mine.integrity, wincommon::ProcessIntegrityLevel(GetCurrentProcess()));
  if (mine.type == TokenElevationTypeFull) {
    EXPECT_TRUE(mine.linkedIntegrity.has_value());
  }
  // Otherwise the service would refuse to run under the Windows tests, and every start would look
  // for a desktop shell.
  EXPECT_FALSE(wincommon::AboveNormalRights(mine));
}

std::wstring systemProgram(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  return L"\"" + std::wstring(folder, length) + L"\\" + name + L"\"";
}

STARTUPINFOW hiddenWindow() {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  return startup;
}

TEST(NormalRightsStart, StartsAProgramThatTheCallerCanWaitForAndReadTheExitCodeOf) {
  testsupport::TempFolder temp;
  const wincommon::StartOutcome outcome = wincommon::StartWithNormalRights(
      systemProgram(L"cmd.exe") + L" /c exit 7", temp.path().wstring().c_str(), hiddenWindow());
  ASSERT_TRUE(outcome.started()) << "system error " << outcome.error;
  EXPECT_EQ(WaitForSingleObject(outcome.process.hProcess, 20000), WAIT_OBJECT_0);
  DWORD exitCode = 0;
  EXPECT_TRUE(GetExitCodeProcess(outcome.process.hProcess, &exitCode));
  EXPECT_EQ(exitCode, 7u);
  CloseHandle(outcome.process.hThread);
  CloseHandle(outcome.process.hProcess);
}

TEST(NormalRightsStart, AProgramThatCannotStartIsReportedWithTheSystemsReason) {
  testsupport::TempFolder temp;
  const std::wstring missing = L"\"" + (temp.path() / L"no-such-program.exe").wstring() + L"\"";
  const wincommon::StartOutcome outcome =
      wincommon::StartWithNormalRights(missing, temp.path().wstring().c_str(), hiddenWindow());
  EXPECT_EQ(outcome.problem, wincommon::StartProblem::CannotStart);
  EXPECT_EQ(outcome.error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(outcome.process.hProcess, nullptr);
}

TEST(NormalRightsStart, TheShellsTokenRouteStartsNothingWithoutADesktopShell) {
  if (GetShellWindow() != nullptr) GTEST_SKIP() << "a desktop shell runs here";
  testsupport::TempFolder temp;
  const std::wstring marker = (temp.path() / L"ran").wstring();
  const wincommon::StartOutcome outcome = wincommon::StartWithShellToken(
      systemProgram(L"cmd.exe") + L" /c echo.> \"" + marker + L"\"", temp.path().wstring().c_str(), hiddenWindow());
  EXPECT_EQ(outcome.problem, wincommon::StartProblem::NoDesktopShell);
  EXPECT_NE(outcome.error, 0u);
  EXPECT_EQ(outcome.process.hProcess, nullptr);
  Sleep(500);
  EXPECT_EQ(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES) << "nothing may start another way";
}

}  // namespace

// Never elevated by accident, under Wine: when a process counts as run "as administrator" (and so
// starts programs through the desktop shell's token, and the service refuses to run), what a
// failure to open the service's instance mutex says, programs started and waited for, and the
// access list of the service's mutex and stop event read back from the objects.
// Wine runs every program with the elevated half of a split token whose two halves carry one
// integrity level, has no desktop shell window, and ignores the token given to
// CreateProcessWithTokenW: the shell's token route is tested up to its missing shell here, and
// the elevated cases as a decision.
#include <gtest/gtest.h>
#include <windows.h>
#include <aclapi.h>

#include <string>
#include <vector>

#include "service/windows/service_identity.h"
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

TEST(InstanceMutex, OnlyNotFoundMeansThatNoServiceRuns) {
  EXPECT_EQ(svc::InstanceSignOfError(ERROR_FILE_NOT_FOUND), svc::InstanceSign::NoneRuns);
  EXPECT_EQ(svc::InstanceSignOfError(ERROR_ACCESS_DENIED), svc::InstanceSign::OneRuns);
  // Another kind of object under the name, or a failure without a reason, tells nothing.
  EXPECT_EQ(svc::InstanceSignOfError(ERROR_INVALID_HANDLE), svc::InstanceSign::Unknown);
  EXPECT_EQ(svc::InstanceSignOfError(ERROR_SUCCESS), svc::InstanceSign::Unknown);
}

std::wstring uniqueName(const wchar_t* what) {
  return L"Local\\Tessel rights test " + std::wstring(what) + L" " + std::to_wstring(GetCurrentProcessId());
}

// Wine opens a named object whatever its access list says, so the refusal an elevated instance's
// mutex meets on Windows is tested as a decision only.
TEST(InstanceMutex, TheSystemsErrorForANameNobodyHoldsReadsAsNoneRunning) {
  ASSERT_EQ(OpenMutexW(SYNCHRONIZE, FALSE, uniqueName(L"nobody holds").c_str()), nullptr);
  EXPECT_EQ(svc::InstanceSignOfError(GetLastError()), svc::InstanceSign::NoneRuns);
}

struct AccessList {
  bool isProtected = false;
  std::vector<std::pair<std::vector<BYTE>, ACCESS_MASK>> allowed;  // SID and rights of each entry
  int others = 0;                                                   // entries of any other kind
};

AccessList accessListOf(HANDLE object) {
  AccessList list;
  ACL* dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(object, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                      &descriptor) != ERROR_SUCCESS) {
    return list;
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  GetSecurityDescriptorControl(descriptor, &control, &revision);
  list.isProtected = (control & SE_DACL_PROTECTED) != 0;
  for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
    void* entry = nullptr;
    GetAce(dacl, i, &entry);
    auto* ace = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) {
      ++list.others;
      continue;
    }
    PSID sid = &ace->SidStart;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    list.allowed.emplace_back(std::vector<BYTE>(bytes, bytes + GetLengthSid(sid)), ace->Mask);
  }
  LocalFree(descriptor);
  return list;
}

TEST(ServiceObjects, TheMutexAndTheStopEventAreTheUsersAloneWithAllTheirRights) {
  const std::vector<BYTE> user = wincommon::TokenUserSid(GetCurrentProcess());
  ASSERT_FALSE(user.empty());
  svc::OwnUserObjectAttributes mutexAccess(MUTEX_ALL_ACCESS);
  svc::OwnUserObjectAttributes eventAccess(EVENT_ALL_ACCESS);
  ASSERT_NE(mutexAccess.get(), nullptr);
  ASSERT_NE(eventAccess.get(), nullptr);
  HANDLE mutex = CreateMutexW(mutexAccess.get(), TRUE, uniqueName(L"running").c_str());
  HANDLE event = CreateEventW(eventAccess.get(), TRUE, FALSE, uniqueName(L"stop").c_str());
  ASSERT_NE(mutex, nullptr);
  ASSERT_NE(event, nullptr);

  const struct {
    const char* what;
    HANDLE object;
    ACCESS_MASK rights;
  } objects[] = {{"mutex", mutex, MUTEX_ALL_ACCESS}, {"stop event", event, EVENT_ALL_ACCESS}};
  for (const auto& object : objects) {
    const AccessList list = accessListOf(object.object);
    EXPECT_TRUE(list.isProtected) << object.what << ": nothing may be inherited from the namespace";
    EXPECT_EQ(list.others, 0) << object.what;
    ASSERT_EQ(list.allowed.size(), 1u) << object.what;
    EXPECT_EQ(list.allowed[0].first, user) << object.what << ": the token's user, not a group of it";
    EXPECT_EQ(list.allowed[0].second, object.rights) << object.what;
  }

  // What the installer asks of them.
  HANDLE waited = OpenMutexW(SYNCHRONIZE, FALSE, uniqueName(L"running").c_str());
  HANDLE signalled = OpenEventW(EVENT_MODIFY_STATE, FALSE, uniqueName(L"stop").c_str());
  EXPECT_NE(waited, nullptr);
  EXPECT_NE(signalled, nullptr);
  for (HANDLE handle : {waited, signalled, mutex, event}) {
    if (handle != nullptr) CloseHandle(handle);
  }
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

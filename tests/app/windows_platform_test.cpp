// The job's Win32 platform under Wine: per-user DWORD settings, the RunOnce entry, the
// executable's path, the environment and disk space.
#include "app/windows_platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "download/download_job.h"

namespace {

const wchar_t kTestKey[] = L"Software\\Tessel Games\\Downloader Tests";

class WindowsPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }
  void TearDown() override { RegDeleteTreeW(HKEY_CURRENT_USER, kTestKey); }

  void setRaw(const std::wstring& subkey, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    std::wstring path = std::wstring(kTestKey) + subkey;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
  }

  WindowsPlatform platform_;
};

TEST_F(WindowsPlatformTest, DwordsAreWrittenAndReadPerGameUnderCreatedKeys) {
  std::wstring first = std::wstring(kTestKey) + L"\\irf";
  std::wstring second = std::wstring(kTestKey) + L"\\abc";
  EXPECT_FALSE(platform_.ReadDword(first, L"accepted_eula").has_value());
  ASSERT_TRUE(platform_.WriteDword(first, L"accepted_eula", 1));
  EXPECT_EQ(platform_.ReadDword(first, L"accepted_eula"), std::optional<uint32_t>(1));
  EXPECT_FALSE(platform_.ReadDword(second, L"accepted_eula").has_value());
  ASSERT_TRUE(platform_.WriteDword(second, L"accepted_eula", 0xFFFFFFFFu));
  EXPECT_EQ(platform_.ReadDword(second, L"accepted_eula"), std::optional<uint32_t>(0xFFFFFFFFu));
  EXPECT_EQ(platform_.ReadDword(first, L"accepted_eula"), std::optional<uint32_t>(1));
}

TEST_F(WindowsPlatformTest, ValuesOfAnotherTypeOrSizeReadAsMissing) {
  const wchar_t text[] = L"1";
  setRaw(L"", L"text", REG_SZ, text, sizeof text);
  const uint64_t wide = 1;
  setRaw(L"", L"qword", REG_QWORD, &wide, sizeof wide);
  const uint32_t binary = 1;
  setRaw(L"", L"binary", REG_BINARY, &binary, sizeof binary);
  const uint16_t shortValue = 1;
  setRaw(L"", L"short", REG_DWORD, &shortValue, sizeof shortValue);
  for (const wchar_t* name : {L"text", L"qword", L"binary", L"short", L"absent"}) {
    EXPECT_FALSE(platform_.ReadDword(kTestKey, name).has_value()) << name;
  }
}

// Also where the key was removed (a cleaner, a policy): the entry is what resumes the download at
// the next logon.
TEST_F(WindowsPlatformTest, TheRunOnceEntryIsWrittenAndItsKeyMadeWhenMissing) {
  RegDeleteKeyW(HKEY_CURRENT_USER, kRunOnceKeyPath);
  std::wstring command = AutoResumeCommand(L"C:\\Users\\Player One\\Downloads\\Iron Fable Downloader.exe");
  ASSERT_TRUE(platform_.WriteRunOnceEntry(L"Iron Fable Downloader", command));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kRunOnceKeyPath, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
  wchar_t stored[512] = L"";
  DWORD size = sizeof stored;
  DWORD type = 0;
  ASSERT_EQ(RegQueryValueExW(key, L"Iron Fable Downloader", nullptr, &type, reinterpret_cast<BYTE*>(stored), &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(size, (command.size() + 1) * sizeof(wchar_t));
  EXPECT_EQ(std::wstring(stored), L"\"C:\\Users\\Player One\\Downloads\\Iron Fable Downloader.exe\" auto");
  RegDeleteValueW(key, L"Iron Fable Downloader");
  RegCloseKey(key);
}

TEST_F(WindowsPlatformTest, KnowsItsExecutableTheEnvironmentAndFreeSpace) {
  std::wstring path = platform_.ExecutablePath();
  EXPECT_NE(path.find(L"app_windows_tests.exe"), std::wstring::npos);
  SetEnvironmentVariableW(L"AK_TEST_VALUE", L"v\u00e9rt");
  EXPECT_EQ(platform_.Environment(L"AK_TEST_VALUE"), std::optional<std::wstring>(L"v\u00e9rt"));
  SetEnvironmentVariableW(L"AK_TEST_VALUE", nullptr);
  EXPECT_FALSE(platform_.Environment(L"AK_TEST_VALUE").has_value());
  EXPECT_GT(platform_.FreeDiskSpace(), 0u);
  SetEnvironmentVariableW(L"SystemDrive", L"Q:");
  EXPECT_EQ(platform_.FreeDiskSpace(), 0u);
  SetEnvironmentVariableW(L"SystemDrive", L"C:");
}

}  // namespace

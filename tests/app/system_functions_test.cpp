// The tables through which the programs call system DLLs outside KnownDLLs, in whichever build runs
// the tests: each resolves whole to the system folder's copy, a missing DLL or function is a clear
// failure rather than a call to nowhere, and the functions no other test reaches answer through
// them as the system documents. (CNG, WinTrust, CryptoAPI and GDI+ are called whole by the tests of
// the file checks and the skin images, through the product's own code.)
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <string>

#include "tests/support/refusing_port.h"
#include "windows_common/bcrypt_functions.h"
#include "windows_common/gdiplus_functions.h"
#include "windows_common/iphlpapi_functions.h"
#include "windows_common/system_functions.h"
#include "windows_common/winhttp_functions.h"
#include "windows_common/wintrust_functions.h"

#define AK_MISPLACED_FUNCTIONS(X) X(WinHttpOpen) X(WinHttpCloseHandle)
namespace misplaced {
AK_SYSTEM_FUNCTIONS(MisplacedFunctions, Misplaced, "version.dll", AK_MISPLACED_FUNCTIONS)
AK_SYSTEM_FUNCTIONS(AbsentFunctions, Absent, "tessel-no-such-system.dll", AK_MISPLACED_FUNCTIONS)
}  // namespace misplaced

namespace {

std::wstring lowerCase(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

std::wstring systemFolder() {
  wchar_t path[MAX_PATH] = L"";
  GetSystemDirectoryW(path, MAX_PATH);
  return lowerCase(path);
}

// The folder of the module whose code holds the function.
std::wstring folderOfFunction(const void* function) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCWSTR>(function), &module)) {
    return L"(no module)";
  }
  wchar_t path[MAX_PATH] = L"";
  GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring text = lowerCase(path);
  return text.substr(0, text.find_last_of(L'\\'));
}

#define AK_EXPECT_FROM_SYSTEM_FOLDER(name)                                                           \
  EXPECT_EQ(folderOfFunction(reinterpret_cast<const void*>(table->name)), systemFolder()) << #name;

#define AK_EXPECT_WHOLE_FROM_SYSTEM_FOLDER(Accessor, LIST)                         \
  {                                                                                \
    const auto* table = wincommon::Accessor();                                     \
    ASSERT_NE(table, nullptr) << #Accessor << wincommon::SystemFunctionsFailure(); \
    LIST(AK_EXPECT_FROM_SYSTEM_FOLDER)                                             \
  }

TEST(SystemFunctions, EveryTableResolvesWholeToTheSystemFoldersCopy) {
  AK_EXPECT_WHOLE_FROM_SYSTEM_FOLDER(WinHttp, AK_WINHTTP_FUNCTIONS)
  AK_EXPECT_WHOLE_FROM_SYSTEM_FOLDER(IpHelper, AK_IPHLPAPI_FUNCTIONS)
  AK_EXPECT_WHOLE_FROM_SYSTEM_FOLDER(BCrypt, AK_BCRYPT_FUNCTIONS)
  AK_EXPECT_WHOLE_FROM_SYSTEM_FOLDER(WinTrust, AK_WINTRUST_FUNCTIONS)
  AK_EXPECT_WHOLE_FROM_SYSTEM_FOLDER(Crypt32, AK_CRYPT32_FUNCTIONS)
  AK_EXPECT_WHOLE_FROM_SYSTEM_FOLDER(GdiplusFlat, AK_GDIPLUS_FUNCTIONS)
}

TEST(SystemFunctions, AMissingFunctionOrDllIsAFailureThatSaysWhat) {
  SetLastError(0);
  EXPECT_EQ(misplaced::Misplaced(), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(wincommon::SystemFunctionsFailure(), "version.dll: WinHttpOpen not found");
  // Asked again, the same answer (the table is resolved once).
  SetLastError(0);
  EXPECT_EQ(misplaced::Misplaced(), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));

  SetLastError(0);
  EXPECT_EQ(misplaced::Absent(), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  EXPECT_EQ(wincommon::SystemFunctionsFailure(), "tessel-no-such-system.dll not loaded (system error 126)");
}

void CALLBACK ignoreStatus(HINTERNET, DWORD_PTR, DWORD, LPVOID, DWORD) {}

TEST(SystemFunctions, WinHttpAnswersThroughItsTable) {
  const wincommon::WinHttpFunctions* winhttp = wincommon::WinHttp();
  ASSERT_NE(winhttp, nullptr);
  testsupport::RefusingPort refusing;
  ASSERT_NE(refusing.port(), 0);
  const std::wstring url = L"http://127.0.0.1:" + std::to_wstring(refusing.port()) + L"/file?part=1";

  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  ASSERT_TRUE(winhttp->WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) << GetLastError();
  EXPECT_EQ(parts.nPort, refusing.port());
  EXPECT_EQ(std::wstring(parts.lpszExtraInfo, parts.dwExtraInfoLength), L"?part=1");

  HINTERNET session = winhttp->WinHttpOpen(L"Tessel test", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME,
                                           WINHTTP_NO_PROXY_BYPASS, 0);
  ASSERT_NE(session, nullptr) << GetLastError();
  DWORD protocols = WINHTTP_FLAG_SECURE_PROTOCOL_TLS1_2;
  EXPECT_TRUE(winhttp->WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &protocols, sizeof protocols));
  EXPECT_TRUE(winhttp->WinHttpSetTimeouts(session, 5000, 5000, 5000, 5000));
  HINTERNET connection = winhttp->WinHttpConnect(session, L"127.0.0.1", refusing.port(), 0);
  ASSERT_NE(connection, nullptr) << GetLastError();
  HINTERNET request = winhttp->WinHttpOpenRequest(connection, L"GET", L"/file", nullptr, WINHTTP_NO_REFERER,
                                                  WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
  ASSERT_NE(request, nullptr) << GetLastError();
  EXPECT_TRUE(winhttp->WinHttpAddRequestHeaders(request, L"X-Tessel-Test: 1", static_cast<DWORD>(-1),
                                                WINHTTP_ADDREQ_FLAG_ADD));
  EXPECT_NE(winhttp->WinHttpSetStatusCallback(request, ignoreStatus, WINHTTP_CALLBACK_FLAG_HANDLES, 0),
            WINHTTP_INVALID_STATUS_CALLBACK);
  EXPECT_FALSE(winhttp->WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WINHTTP_CANNOT_CONNECT));
  EXPECT_FALSE(winhttp->WinHttpReceiveResponse(request, nullptr));
  DWORD bytes = 0;
  EXPECT_FALSE(winhttp->WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                                            nullptr, &bytes, WINHTTP_NO_HEADER_INDEX));
  // A request that was never answered has no byte to give (Windows refuses the call, Wine reads 0).
  char buffer[16];
  DWORD read = sizeof buffer;
  const BOOL readDone = winhttp->WinHttpReadData(request, buffer, sizeof buffer, &read);
  EXPECT_TRUE(!readDone || read == 0) << read;

  // A configuration script that cannot be fetched gives no proxy, and says so.
  WINHTTP_AUTOPROXY_OPTIONS automatic{};
  automatic.dwFlags = WINHTTP_AUTOPROXY_CONFIG_URL;
  const std::wstring script = L"http://127.0.0.1:" + std::to_wstring(refusing.port()) + L"/proxy.pac";
  automatic.lpszAutoConfigUrl = script.c_str();
  WINHTTP_PROXY_INFO found{};
  EXPECT_FALSE(winhttp->WinHttpGetProxyForUrl(session, url.c_str(), &automatic, &found));
  EXPECT_GE(GetLastError(), static_cast<DWORD>(WINHTTP_ERROR_BASE));
  EXPECT_LE(GetLastError(), static_cast<DWORD>(WINHTTP_ERROR_LAST));

  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
  ASSERT_TRUE(winhttp->WinHttpGetIEProxyConfigForCurrentUser(&user)) << GetLastError();
  for (LPWSTR text : {user.lpszAutoConfigUrl, user.lpszProxy, user.lpszProxyBypass}) GlobalFree(text);
  WINHTTP_PROXY_INFO machine{};
  ASSERT_TRUE(winhttp->WinHttpGetDefaultProxyConfiguration(&machine)) << GetLastError();
  EXPECT_NE(machine.dwAccessType, 0u);
  for (LPWSTR text : {machine.lpszProxy, machine.lpszProxyBypass}) GlobalFree(text);

  EXPECT_TRUE(winhttp->WinHttpCloseHandle(request));
  EXPECT_TRUE(winhttp->WinHttpCloseHandle(connection));
  EXPECT_TRUE(winhttp->WinHttpCloseHandle(session));
}

TEST(SystemFunctions, IpHelperAnswersThroughItsTable) {
  const wincommon::IpHelperFunctions* ipHelper = wincommon::IpHelper();
  ASSERT_NE(ipHelper, nullptr);
  DWORD size = 0;
  EXPECT_EQ(ipHelper->GetExtendedTcpTable(nullptr, &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0),
            static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_GE(size, sizeof(DWORD));
  ULONG adapters = 0;
  const DWORD listed = ipHelper->GetAdaptersInfo(nullptr, &adapters);
  EXPECT_TRUE(listed == ERROR_BUFFER_OVERFLOW || listed == ERROR_NO_DATA) << listed;
  // Kept for the life of the process: the system completes the wait whenever an address changes.
  static OVERLAPPED change{};
  change.hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HANDLE ignored = nullptr;
  EXPECT_EQ(ipHelper->NotifyAddrChange(&ignored, &change), static_cast<DWORD>(ERROR_IO_PENDING));
}

}  // namespace

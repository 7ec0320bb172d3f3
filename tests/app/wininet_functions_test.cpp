// WinINet through its table (its header cannot share a translation unit with WinHTTP's): the
// functions the installer download uses answer as the system documents, the proxy-credentials
// dialog included, which no other test reaches.
#include <gtest/gtest.h>
#include <winsock2.h>

#include <string>

#include "tests/support/refusing_port.h"
#include "windows_common/system_functions.h"
#include "windows_common/wininet_functions.h"

namespace {

TEST(SystemFunctions, WinInetAnswersThroughItsTable) {
  const wincommon::WinInetFunctions* wininet = wincommon::WinInet();
  ASSERT_NE(wininet, nullptr) << wincommon::SystemFunctionsFailure();

  testsupport::RefusingPort refusing;
  ASSERT_NE(refusing.port(), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(refusing.port()) + "/installer";

  HINTERNET internet = wininet->InternetOpenA("Tessel test", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ASSERT_NE(internet, nullptr) << GetLastError();
  EXPECT_EQ(wininet->InternetOpenUrlA(internet, url.c_str(), nullptr, 0, INTERNET_FLAG_NO_CACHE_WRITE, 0), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INTERNET_CANNOT_CONNECT));
  DWORD status = 0;
  DWORD size = sizeof status;
  EXPECT_FALSE(wininet->HttpQueryInfoA(internet, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                                       nullptr));
  char buffer[16];
  DWORD read = 0;
  EXPECT_FALSE(wininet->InternetReadFile(nullptr, buffer, sizeof buffer, &read));
  // Without a window to own it, the dialog is refused rather than shown.
  EXPECT_EQ(wininet->InternetErrorDlg(nullptr, nullptr, ERROR_INTERNET_INCORRECT_PASSWORD,
                                      FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS, nullptr),
            static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_TRUE(wininet->InternetCloseHandle(internet));
}

}  // namespace

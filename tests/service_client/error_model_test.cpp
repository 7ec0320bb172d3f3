#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "service_client/client_errors.h"

namespace {

TEST(ErrorTexts, EveryCodeHasItsFixedText) {
  const char* const expected[] = {
      "Success",
      "Invalid Argument",
      "Not Installed",
      "Internal Failure",
      "Insufficient Memory",
      "Network Failure",
      "Client Configuration Failure",
      "Disk I/O Failure",
      "Platform-specific Failure",
      "Error Starting Client",
      "Error Stopping Client",
      "JSON Error",
      "File In Use",
      "File Not Found",
      "A resource on your machine (TCP port 9421) required by the download service client is either blocked or in "
      "use by another application. Please check your firewall and antivirus settings",
      "Network Failure. Failed to download %s",
      "Disk I/O Failure: Failed in writing contents of file %s to disk",
      "Client Configuration Failure: %s path not found",
      "Client Configuration Failure: Error in parsing path %s",
      "Disk I/O Failure: Unable to open path %s",
      "Disk I/O Failure: Unable to seek to %s",
      "%s failed verification",
      "File already downloaded",
      "Running of periodic tasks is throttled",
      "Error in Challenge-Response",
      "Error in executing installer package",
      "Error in mounting installer image",
      "Installer encountered error and could not start the download service client",
  };
  ASSERT_EQ(sizeof expected / sizeof expected[0], 28u);
  for (int32_t code = 0; code < 28; ++code) {
    EXPECT_STREQ(ak_errorToString(code), expected[code]) << "code " << code;
  }
}

TEST(ErrorTexts, CodesOutsideTheTableAreUnknown) {
  for (int32_t code : {28, 29, -1, -28, INT32_MAX, INT32_MIN}) {
    EXPECT_STREQ(ak_errorToString(code), "Unknown Error") << "code " << code;
  }
}

TEST(LastError, ThreadThatNeverCalledTheLibraryReadsSuccess) {
  _ak_setLastError(ClientError::DiskIoFailure);  // the slot exists; another thread still reads 0
  int32_t seen = -1;
  std::thread([&] { seen = ak_getLastError(); }).join();
  EXPECT_EQ(seen, 0);
  EXPECT_EQ(ak_getLastError(), 7);
}

TEST(LastError, EachThreadKeepsItsOwnValueWhenAllStoreAtOnce) {
  // Many threads store their first error at the same moment: each must read back its own.
  constexpr int kThreads = 16;
  std::atomic<int> ready{0};
  std::vector<int32_t> seen(kThreads, -1);
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (ready < kThreads) std::this_thread::yield();
      _ak_setLastError(static_cast<ClientError>(i + 1));
      std::this_thread::yield();
      seen[i] = ak_getLastError();
    });
  }
  for (auto& t : threads) t.join();
  for (int i = 0; i < kThreads; ++i) EXPECT_EQ(seen[i], i + 1) << "thread " << i;
}

}  // namespace

// The product executable as a player receives it: a 32-bit GUI program that needs no DLL beyond
// the system's and exports the client library under undecorated names.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>

#include "tests/support/pe_image.h"

namespace {

// The fifteen functions of the library and its eleven wrappers.
const std::set<std::string> kExpectedExports = {
    "ak_acceptEULA",      "ak_cleanAttributes", "ak_cleanFileAttributes", "ak_deleteFile",  "ak_downloadFile",
    "ak_errorToString",   "ak_fileStatusToString", "ak_getAttributes",    "ak_getFileAttributes", "ak_getLastError",
    "ak_initialize",      "ak_pauseFile",       "ak_setUploadState",      "ak_uninitialize", "AKDelete",
    "AKDownload",         "AKGetAttr",          "AKGetFileAttr",          "AKGetFileSize",   "AKGetReceivedSize",
    "AKPause",            "AKRetry",            "TSInitialize",           "TSUninitialize", "ak_install", "TSInstall",
};

void expectSelfContainedGuiProgram(const testsupport::PeImage& image) {
  ASSERT_TRUE(image.valid);
  EXPECT_EQ(image.subsystem, 2) << "not a GUI-subsystem program";
  EXPECT_EQ(image.exports, kExpectedExports);
  for (const auto& dll : image.imports) {
    EXPECT_EQ(dll.rfind("lib", 0), std::string::npos) << "needs the MinGW runtime DLL " << dll;
  }
}

TEST(ProductImage, ShippedExecutableIs32BitGuiWithTheLibraryExports) {
  auto image = testsupport::readPeImage(AK_PRODUCT_I686);
  EXPECT_EQ(image.machine, 0x14c) << AK_PRODUCT_I686 << " is not a 32-bit x86 program";
  expectSelfContainedGuiProgram(image);
}

// Players download this file before anything else: it stays within 600 KB, artwork included.
TEST(ProductImage, ShippedExecutableFitsItsDownloadBudget) {
  constexpr long long kBudgetBytes = 600 * 1024;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExA(AK_PRODUCT_I686, GetFileExInfoStandard, &data)) << GetLastError();
  long long size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  EXPECT_LE(size, kBudgetBytes) << AK_PRODUCT_I686 << " grew past its budget";
}

TEST(ProductImage, ThisBuildsExecutableResolvesEveryExportWhenLoaded) {
  auto image = testsupport::readPeImage(AK_PRODUCT_SAME_BUILD);
  expectSelfContainedGuiProgram(image);

  HMODULE product = LoadLibraryExW(L"" AK_PRODUCT_SAME_BUILD_W, nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(product, nullptr) << GetLastError();
  for (const auto& name : kExpectedExports) {
    EXPECT_NE(GetProcAddress(product, name.c_str()), nullptr) << name;
  }
  FreeLibrary(product);
}

}  // namespace

// The product executable as a player receives it: a 32-bit GUI program that needs no DLL beyond
// the system's and exports the client library under undecorated names.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "build_settings.h"
#include "service_version/service_version.h"
#include "tests/support/pe_image.h"
#include "tests/support/temp_folder.h"

namespace {

// The fifteen functions of the library and its eleven wrappers.
const std::set<std::string> kExpectedExports = {
    "ak_acceptEULA",      "ak_cleanAttributes", "ak_cleanFileAttributes", "ak_deleteFile",  "ak_downloadFile",
    "ak_errorToString",   "ak_fileStatusToString", "ak_getAttributes",    "ak_getFileAttributes", "ak_getLastError",
    "ak_initialize",      "ak_pauseFile",       "ak_setUploadState",      "ak_uninitialize", "AKDelete",
    "AKDownload",         "AKGetAttr",          "AKGetFileAttr",          "AKGetFileSize",   "AKGetReceivedSize",
    "AKPause",            "AKRetry",            "TSInitialize",           "TSUninitialize", "ak_install", "TSInstall",
};

// The DLLs in Windows's KnownDLLs list on every version the program runs on (Windows 7 listed a few
// more, WinINet among them, that later versions dropped): always loaded from the system folder.
// Any other DLL imported statically would be looked for in the program's own folder first, before
// the program's first line could restrict the search.
const std::set<std::string> kKnownDlls = {
    "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "gdi32.dll",    "imagehlp.dll", "imm32.dll",
    "kernel32.dll", "msctf.dll",   "msvcrt.dll",   "normaliz.dll", "nsi.dll",      "ole32.dll",
    "oleaut32.dll", "psapi.dll",   "rpcrt4.dll",   "sechost.dll",  "setupapi.dll", "shell32.dll",
    "shlwapi.dll",  "user32.dll",  "wldap32.dll",  "ws2_32.dll",
};

// A GUI program with exactly these exports that needs no DLL beyond the system's and imports only
// KnownDLLs at start-up.
void expectSelfContainedGuiProgram(const std::filesystem::path& file,
                                   const std::set<std::string>& exports = kExpectedExports) {
  const testsupport::PeImage image = testsupport::readPeImage(file);
  ASSERT_TRUE(image.valid) << file;
  EXPECT_EQ(image.subsystem, 2) << file << " is not a GUI-subsystem program";
  EXPECT_EQ(image.exports, exports) << file;
  for (const auto& dll : image.imports) {
    EXPECT_EQ(dll.rfind("lib", 0), std::string::npos) << file << " needs the MinGW runtime DLL " << dll;
    EXPECT_EQ(kKnownDlls.count(dll), 1u) << file << ": " << dll << " is imported at start-up but is not a KnownDLL";
  }
}

// The DLLs outside KnownDLLs are taken through windows_common/system_functions.h, the same code in
// both builds. A delay-import table is the toolchain's own mechanism instead, whose 32-bit link once
// dropped the code its slots point to: the first call then jumped to address 0.
void expectNoDelayImportTable(const std::filesystem::path& file) {
  const testsupport::PeImage image = testsupport::readPeImage(file);
  ASSERT_TRUE(image.valid) << file;
  for (const auto& table : image.delayImports) {
    std::string unbound;
    for (const auto& name : table.slotsOutsideCode) unbound += " " + name;
    EXPECT_TRUE(table.slotsOutsideCode.empty())
        << file << ": the import slots of" << unbound << " (" << table.dll << ") do not point into code";
    ADD_FAILURE() << file << " loads " << table.dll << " through a delay-import table of " << table.functions
                  << " functions";
  }
}

const std::vector<std::filesystem::path>& shippedPrograms() {
  static const std::vector<std::filesystem::path> programs = {
      AK_PRODUCT_I686,
      AK_PRODUCT_SAME_BUILD,
      std::filesystem::path(AK_PRODUCT_SERVICE_DIR) / "download-service.exe",
      std::filesystem::path(AK_PRODUCT_SERVICE_DIR) / "download-service-setup.exe",
      std::filesystem::path(AK_SAME_BUILD_SERVICE_DIR) / "download-service.exe",
      std::filesystem::path(AK_SAME_BUILD_SERVICE_DIR) / "download-service-setup.exe"};
  return programs;
}

// Resource id of type in the program's image; empty when it has none.
std::string resourceOf(const std::filesystem::path& program, int id, int type) {
  HMODULE module = LoadLibraryExW(program.wstring().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) return std::string();
  std::string bytes;
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(type));
  HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
  const char* data = loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (data != nullptr) bytes.assign(data, SizeofResource(module, found));
  FreeLibrary(module);
  return bytes;
}

// The service program that the installer carries (resource 1 of type 10, RT_RCDATA).
std::string carriedProgram(const std::filesystem::path& installer) { return resourceOf(installer, 1, 10); }

// The application manifest the program carries (resource 1 of type 24, RT_MANIFEST).
std::string manifestOf(const std::filesystem::path& program) { return resourceOf(program, 1, 24); }

// Windows takes a 32-bit program without a requested execution level whose name holds "setup",
// "install", "update" or "patch" for an installer and demands elevation before it starts; the
// supported-OS entries keep Windows 7 to 11 from running it in a compatibility mode.
void expectRunsAsInvokerOnWindows7To11(const std::filesystem::path& program) {
  const std::string manifest = manifestOf(program);
  ASSERT_FALSE(manifest.empty()) << program << " carries no application manifest";
  EXPECT_TRUE(std::regex_search(manifest, std::regex(R"(<requestedExecutionLevel\s+level\s*=\s*"asInvoker")")))
      << program << ": " << manifest;
  for (const char* os : {"35138b9a-5d96-4fbd-8e2d-a2440225f93a", "4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38",
                         "1f676c76-80e1-4239-95bb-83d0f6d0da78", "8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"}) {
    EXPECT_NE(manifest.find(std::string("<supportedOS Id=\"{") + os + "}\"/>"), std::string::npos) << program << ": " << os;
  }
}

TEST(ProductImage, EveryShippedProgramRunsAsItsUserWithoutElevation) {
  for (const std::filesystem::path& program : shippedPrograms()) {
    expectRunsAsInvokerOnWindows7To11(program);
    // Every program that names a game's files takes long paths where the machine allows them.
    EXPECT_TRUE(std::regex_search(manifestOf(program), std::regex(R"(<longPathAware\s+xmlns="http://schemas.microsoft.com/SMI/2016/WindowsSettings">true</longPathAware>)")))
        << program;
  }
  // The downloader's windows are scaled by the system with sharp text.
  EXPECT_NE(manifestOf(AK_PRODUCT_I686).find(">true</gdiScaling>"), std::string::npos);
}

TEST(ProductImage, NoShippedProgramTakesASystemDllThroughADelayImportTable) {
  for (const std::filesystem::path& program : shippedPrograms()) expectNoDelayImportTable(program);
}

TEST(ProductImage, ShippedExecutableIs32BitGuiWithTheLibraryExports) {
  EXPECT_EQ(testsupport::readPeImage(AK_PRODUCT_I686).machine, 0x14c) << AK_PRODUCT_I686 << " is not 32-bit x86";
  expectSelfContainedGuiProgram(AK_PRODUCT_I686);
}

// Players download this file before anything else: it stays within 640 KB, artwork included (600 KB
// until the game's folders were made private, the service's port and installer checked, and names
// carried in UTF-8).
TEST(ProductImage, ShippedExecutableFitsItsDownloadBudget) {
  constexpr long long kBudgetBytes = 640 * 1024;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExA(AK_PRODUCT_I686, GetFileExInfoStandard, &data)) << GetLastError();
  long long size = (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  EXPECT_LE(size, kBudgetBytes) << AK_PRODUCT_I686 << " grew past its budget";
}

TEST(ProductImage, ThisBuildsExecutableResolvesEveryExportWhenLoaded) {
  expectSelfContainedGuiProgram(AK_PRODUCT_SAME_BUILD);

  HMODULE product = LoadLibraryExW(L"" AK_PRODUCT_SAME_BUILD_W, nullptr, DONT_RESOLVE_DLL_REFERENCES);
  ASSERT_NE(product, nullptr) << GetLastError();
  for (const auto& name : kExpectedExports) {
    EXPECT_NE(GetProcAddress(product, name.c_str()), nullptr) << name;
  }
  FreeLibrary(product);
}

// The download service and its installer, as a publisher ships them and as this build makes them:
// 32-bit (the product's), GUI programs without a console, statically linked, importing only
// KnownDLLs at start-up; the installer carries this very service program.
TEST(ServiceImages, ServiceAndInstallerAreSelfContainedGuiPrograms) {
  for (const char* folder : {AK_PRODUCT_SERVICE_DIR, AK_SAME_BUILD_SERVICE_DIR}) {
    const std::filesystem::path service = std::filesystem::path(folder) / "download-service.exe";
    const std::filesystem::path setup = std::filesystem::path(folder) / "download-service-setup.exe";
    expectSelfContainedGuiProgram(service, {});
    expectSelfContainedGuiProgram(setup, {});
    const std::string carried = carriedProgram(setup);
    EXPECT_FALSE(carried.empty()) << setup << " carries no service program";
    EXPECT_TRUE(carried == testsupport::readWholeFile(service)) << setup << " carries another build of the service";
  }
  EXPECT_EQ(testsupport::readPeImage(std::filesystem::path(AK_PRODUCT_SERVICE_DIR) / "download-service.exe").machine,
            0x14c);
}

// Both programs name the publisher and their version (Task Manager's start-up list, the list of
// installed programs, Windows's reputation checks), and the version is this build's: the installer
// compares it with the installed program's, the library with what the running service reports.
TEST(ServiceImages, ServiceAndInstallerNameThePublisherAndThisBuildsVersion) {
  const std::u16string publisher = u"Tessel Games", product = u"Tessel Download Service";
  for (const char* folder : {AK_PRODUCT_SERVICE_DIR, AK_SAME_BUILD_SERVICE_DIR}) {
    for (const char* name : {"download-service.exe", "download-service-setup.exe"}) {
      const std::filesystem::path program = std::filesystem::path(folder) / name;
      const std::string resource = resourceOf(program, 1, 16);  // VS_VERSION_INFO, RT_VERSION
      ASSERT_FALSE(resource.empty()) << program << " carries no version resource";
      ServiceVersion version{};
      ASSERT_TRUE(VersionOfVersionResource(resource.data(), resource.size(), &version)) << program;
      char text[24];
      FormatServiceVersion(version, text, sizeof text);
      EXPECT_STREQ(text, AK_SERVICE_VERSION_TEXT) << program;
      for (const std::u16string& value : {publisher, product}) {
        const std::string bytes(reinterpret_cast<const char*>(value.data()), value.size() * sizeof(char16_t));
        EXPECT_NE(resource.find(bytes), std::string::npos) << program << " does not name the publisher and product";
      }
    }
  }
}

}  // namespace

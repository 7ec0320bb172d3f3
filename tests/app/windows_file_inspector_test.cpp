// The checks of arrived files on the real system under Wine: SHA-256 through CNG, sizes, files
// still held open by a writer, and Authenticode signatures through WinVerifyTrust on copies of a
// program signed at test time (tests/support/signed-samples) under a root the test prefix trusts.
#include "app/windows_file_inspector.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>
#include <softpub.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "tests/support/temp_folder.h"

namespace {

const std::filesystem::path kSamples = std::filesystem::u8path(AK_SIGNED_SAMPLES_DIR);
const std::wstring kPublisher = L"Tessel Test Publisher";

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::wstring hashText(WindowsFileInspector& files, const std::filesystem::path& path) {
  auto digest = files.FileSha256(path.wstring());
  return digest ? Sha256Text(*digest) : L"(none)";
}

TEST(WindowsFileInspector, HashesWithTheSystemsSha256AcrossReadChunks) {
  testsupport::TempFolder folder;
  WindowsFileInspector files;
  writeFile(folder.path() / "abc", "abc");
  writeFile(folder.path() / "empty", "");
  std::string pattern(3 * 1024 * 1024 + 5, '\0');  // three whole read chunks and a few bytes
  for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>((i * 7 + 3) % 251);
  writeFile(folder.path() / "pattern", pattern);

  EXPECT_EQ(hashText(files, folder.path() / "abc"), L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(hashText(files, folder.path() / "empty"), L"e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(hashText(files, folder.path() / "pattern"), L"3e15fcba816eb2091bac2e2bd8a58ff56345daa9d4c8112777c9fbfae3257799");
  EXPECT_EQ(files.FileSize((folder.path() / "pattern").wstring()), std::optional<uint64_t>(pattern.size()));
  EXPECT_EQ(files.FileSize((folder.path() / "empty").wstring()), std::optional<uint64_t>(0));

  EXPECT_FALSE(files.FileSha256((folder.path() / "missing").wstring()).has_value());
  EXPECT_FALSE(files.FileSize((folder.path() / "missing").wstring()).has_value());
  EXPECT_FALSE(files.FileSize(folder.path().wstring()).has_value()) << "a folder is no file";
}

TEST(WindowsFileInspector, WaitsForAWriterThatStillHoldsTheFile) {
  testsupport::TempFolder folder;
  const std::wstring path = (folder.path() / "arriving").wstring();
  writeFile(folder.path() / "arriving", "abc");
  // The download service's handle: open for writing, reads shared.
  HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE) << GetLastError();
  std::thread closer([writer] {
    Sleep(600);
    CloseHandle(writer);
  });
  WindowsFileInspector files;
  auto digest = files.FileSha256(path);
  closer.join();
  ASSERT_TRUE(digest.has_value()) << "read once the writer let go";
  EXPECT_EQ(Sha256Text(*digest), L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(WindowsFileInspector, TrustsOnlyAValidSignatureByTheExpectedSignerUnderATrustedRoot) {
  WindowsFileInspector files;
  const struct {
    const char* file;
    ExpectedSigner expected;
    SignatureVerdict verdict;
    std::wstring signer;
  } kCases[] = {
      {"signed.exe", kPublisher, SignatureVerdict::Trusted, kPublisher},
      // The build may pin the certificate's issuer and organisation too (the test certificate names
      // no organisation).
      {"signed.exe", ExpectedSigner(kPublisher, L"", L"Tessel Test Root"), SignatureVerdict::Trusted, kPublisher},
      {"signed.exe", ExpectedSigner(kPublisher, L"", L"Another Root"), SignatureVerdict::OtherSigner, kPublisher},
      {"signed.exe", ExpectedSigner(kPublisher, L"Tessel Games"), SignatureVerdict::OtherSigner, kPublisher},
      {"signed.exe", L"Tessel Test Publisher Ltd", SignatureVerdict::OtherSigner, kPublisher},
      {"signed.exe", L"tessel test publisher", SignatureVerdict::OtherSigner, kPublisher},
      {"other-signer.exe", kPublisher, SignatureVerdict::OtherSigner, L"Someone Else"},
      {"unsigned.exe", kPublisher, SignatureVerdict::Unsigned, L""},
      {"tampered.exe", kPublisher, SignatureVerdict::Invalid, L""},
      {"stranger.exe", kPublisher, SignatureVerdict::Untrusted, kPublisher},
      {"missing.exe", kPublisher, SignatureVerdict::Unreadable, L""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.file);
    const SignatureCheck result = files.CheckSignature((kSamples / c.file).wstring(), c.expected);
    EXPECT_EQ(static_cast<int>(result.verdict), static_cast<int>(c.verdict));
    EXPECT_EQ(result.signer, c.signer);
  }
  const SignatureCheck signedByUs = files.CheckSignature((kSamples / "signed.exe").wstring(), kPublisher);
  EXPECT_EQ(signedByUs.issuer, L"Tessel Test Root");
  EXPECT_EQ(signedByUs.organization, L"");
  EXPECT_EQ(files.CheckSignature((kSamples / "tampered.exe").wstring(), kPublisher).code, 0x80096010u)
      << "TRUST_E_BAD_DIGEST";
  const uint32_t strangerCode = files.CheckSignature((kSamples / "stranger.exe").wstring(), kPublisher).code;
  EXPECT_TRUE(strangerCode == 0x800B0109u || strangerCode == 0x800B010Au)
      << "CERT_E_UNTRUSTEDROOT or CERT_E_CHAINING, not " << std::hex << strangerCode;
}

// Why the inspector checks the signer's chain itself: Wine's WinVerifyTrust accepts a signature
// under a root nobody trusts, where Windows answers CERT_E_UNTRUSTEDROOT.
TEST(WindowsFileInspector, WinesWinVerifyTrustAloneDoesNotCheckTheChain) {
  const bool underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  if (!underWine) GTEST_SKIP() << "Windows checks the chain itself";
  const std::wstring path = (kSamples / "stranger.exe").wstring();
  WINTRUST_FILE_INFO fileInfo{};
  fileInfo.cbStruct = sizeof fileInfo;
  fileInfo.pcwszFilePath = path.c_str();
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  EXPECT_EQ(WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data), 0)
      << "Wine now checks the chain: the inspector's own chain check may be revisited";
}

}  // namespace

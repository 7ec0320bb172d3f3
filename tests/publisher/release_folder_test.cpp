// Reading a folder of game files into a release, and reading the signer out of osslsigncode's
// report. Signing itself is tested on a real Windows program by publish_test.sh.
#include <gtest/gtest.h>

#include <fstream>

#include "publisher/release_folder.h"
#include "publisher/sha256.h"
#include "tests/support/temp_folder.h"

namespace publisher {
namespace {

void write(const std::filesystem::path& file, const std::string& bytes) { std::ofstream(file, std::ios::binary) << bytes; }

TEST(ReleaseFolder, TheInstallerComesFirstAndEveryFileHasItsSizeAndDigest) {
  testsupport::TempFolder folder;
  write(folder.path() / "b.bin", "bbb");
  write(folder.path() / "Setup.EXE", "installer");
  write(folder.path() / "a.bin", "");
  std::vector<ReleaseFile> files;
  std::string error;
  ASSERT_TRUE(readReleaseFolder(folder.path(), "", &files, &error)) << error;
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].name, "Setup.EXE");
  EXPECT_EQ(files[1].name, "a.bin");
  EXPECT_EQ(files[2].name, "b.bin");
  EXPECT_EQ(files[0].size, 9u);
  EXPECT_EQ(files[0].sha256, sha256Hex("installer"));
  EXPECT_EQ(files[1].sha256, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");

  write(folder.path() / "tools.exe", "x");
  EXPECT_FALSE(readReleaseFolder(folder.path(), "", &files, &error)) << "two programs: which is the installer?";
  EXPECT_NE(error.find("--installer"), std::string::npos) << error;
  ASSERT_TRUE(readReleaseFolder(folder.path(), "tools.exe", &files, &error)) << error;
  EXPECT_EQ(files[0].name, "tools.exe");
  EXPECT_FALSE(readReleaseFolder(folder.path(), "missing.exe", &files, &error));

  std::filesystem::create_directory(folder.path() / "maps");
  EXPECT_FALSE(readReleaseFolder(folder.path(), "tools.exe", &files, &error)) << "the downloader keeps one folder";
  EXPECT_NE(error.find("maps"), std::string::npos) << error;
}

TEST(ReleaseFolder, TheSignerIsTheSigningCertificatesCommonNameNotTheChains) {
  const std::string report =
      "Signer's certificate:\n\t------------------\n\tSigner #0:\n\t\tSubject: /C=GB/O=Tessel Games/CN=Tessel Games Ltd\n"
      "\t\tIssuer : /CN=Some CA\nSigning certificate chain verified using:\n\t\tSubject: /CN=Some CA\n";
  EXPECT_EQ(signerInReport(report), "Tessel Games Ltd");
  EXPECT_EQ(signerInReport("Signing certificate chain verified using:\n\t\tSubject: /CN=Some CA\n"), "");
}

}  // namespace
}  // namespace publisher

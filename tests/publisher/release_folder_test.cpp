// Reading a folder of game files into a release, and reading the signer out of osslsigncode's
// report. Signing itself is tested on a real Windows program by publish_test.sh.
#include <gtest/gtest.h>
#include <sys/stat.h>

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

TEST(ReleaseFolder, AnythingButARegularFileRefusesTheWholeRelease) {
  testsupport::TempFolder folder;
  write(folder.path() / "setup.exe", "installer");
  std::vector<ReleaseFile> files;
  std::string error;
  ASSERT_TRUE(readReleaseFolder(folder.path(), "", &files, &error)) << error;
  auto refusedFor = [&](const std::string& name) {
    files.clear();
    const bool read = readReleaseFolder(folder.path(), "", &files, &error);
    std::filesystem::remove(folder.path() / name);
    return !read && files.empty() && error.find(name) != std::string::npos;
  };
  std::filesystem::create_symlink("/etc/hostname", folder.path() / "data.bin");
  EXPECT_TRUE(refusedFor("data.bin")) << "a link would publish a file of the machine: " << error;
  std::filesystem::create_symlink(folder.path() / "gone", folder.path() / "dangling.bin");
  EXPECT_TRUE(refusedFor("dangling.bin")) << "a dangling link is not silently left out: " << error;
  ASSERT_EQ(mkfifo((folder.path() / "pipe.bin").c_str(), 0600), 0);
  EXPECT_TRUE(refusedFor("pipe.bin")) << error;
  write(folder.path() / "bad\x1B[2Jname.bin", "x");
  files.clear();
  EXPECT_FALSE(readReleaseFolder(folder.path(), "", &files, &error)) << "a name the downloader could not show";
  EXPECT_EQ(error.find('\x1B'), std::string::npos) << error;
}

// A name swapped for a link or a FIFO between the folder's listing and the reading of its bytes
// (the moment the digest is taken) is refused, not followed, and never waited on.
TEST(ReleaseFolder, AFileSwappedAfterTheListingIsNotFollowedOrWaitedOn) {
  testsupport::TempFolder folder;
  std::string hex;
  uint64_t size = 0;
  std::string error;
  write(folder.path() / "real.bin", "bytes");
  ASSERT_TRUE(sha256OfFile(folder.path() / "real.bin", &hex, &size, &error)) << error;
  EXPECT_EQ(size, 5u);
  std::filesystem::create_symlink(folder.path() / "real.bin", folder.path() / "link.bin");
  EXPECT_FALSE(sha256OfFile(folder.path() / "link.bin", &hex, &size, &error));
  EXPECT_NE(error.find("regular file"), std::string::npos) << error;
  ASSERT_EQ(mkfifo((folder.path() / "pipe.bin").c_str(), 0600), 0);
  EXPECT_FALSE(sha256OfFile(folder.path() / "pipe.bin", &hex, &size, &error)) << "and it returned: no writer waited for";
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

// The service's files as Windows keeps them, under Wine: another program holding the list of
// downloads for a moment delays a save but does not lose it; a download's file that another
// program holds is reported in use (never as a full disk), written once it is free, and removed
// only once it is free. (Wine cannot make a junction or a symbolic link through the Windows API:
// the refusal of paths through them is tested natively, in windows_paths_test.)
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "service/durable_file.h"
#include "service/target_file.h"
#include "tests/support/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string readAll(const fs::path& file) {
  HANDLE handle = CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return "<unreadable>";
  std::string content(1 << 16, '\0');
  DWORD read = 0;
  ReadFile(handle, &content[0], static_cast<DWORD>(content.size()), &read, nullptr);
  CloseHandle(handle);
  content.resize(read);
  return content;
}

// Opens the file as a scanner or a running installer does: nobody else may write or delete it.
HANDLE holdExclusively(const fs::path& file) {
  return CreateFileW(file.wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

TEST(DurableList, ASaveWaitsOutAProgramHoldingTheListAndReportsOneThatOutlastsIt) {
  testsupport::TempFolder temp;
  const fs::path list = temp.path() / "registry.txt";
  std::string error;
  ASSERT_TRUE(svc::ReplaceFileDurably(list, "first\n", 0ms, &error)) << error;
  EXPECT_EQ(readAll(list), "first\n");
  EXPECT_FALSE(fs::exists(temp.path() / "registry.txt.tmp"));

  HANDLE scanner = holdExclusively(list);
  ASSERT_NE(scanner, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(svc::ReplaceFileDurably(list, "second\n", 0ms, &error));
  EXPECT_NE(error.find("system error"), std::string::npos) << error;
  EXPECT_EQ(readAll(list), "first\n") << "a failed save must leave the old list whole";

  std::thread release([scanner] {
    std::this_thread::sleep_for(600ms);
    CloseHandle(scanner);
  });
  const auto began = std::chrono::steady_clock::now();
  EXPECT_TRUE(svc::ReplaceFileDurably(list, "third\n", 5000ms, &error)) << error;
  EXPECT_GE(std::chrono::steady_clock::now() - began, 500ms);
  release.join();
  EXPECT_EQ(readAll(list), "third\n");
}

TEST(TargetFiles, AFileAnotherProgramHoldsIsInUseNotAFullDisk) {
  testsupport::TempFolder temp;
  const fs::path file = temp.path() / "game" / "setup.exe";
  svc::TargetProblem problem = svc::TargetProblem::Failed;
  uint32_t code = 0;
  {
    auto target = svc::TargetFile::Open(file, &problem, &code);
    ASSERT_TRUE(target) << static_cast<int>(problem);
    EXPECT_EQ(target->Write(0, "MZ game", 7), svc::TargetProblem::None);
    EXPECT_EQ(target->Write(3, "GAME", 4), svc::TargetProblem::None);
    EXPECT_EQ(target->Size(), 7);
    EXPECT_EQ(target->Flush(), svc::TargetProblem::None);
    EXPECT_EQ(readAll(file), "MZ GAME") << "others may read it while it is written";
  }
  HANDLE installer = holdExclusively(file);
  ASSERT_NE(installer, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(svc::TargetFile::Open(file, &problem, &code));
  EXPECT_EQ(problem, svc::TargetProblem::InUse);
  EXPECT_EQ(code, static_cast<uint32_t>(ERROR_SHARING_VIOLATION));
  EXPECT_NE(svc::DescribeTargetProblem(problem, file).find("setup.exe is in use by another program"),
            std::string::npos);
  CloseHandle(installer);
  auto target = svc::TargetFile::Open(file, &problem, &code);
  ASSERT_TRUE(target);
  EXPECT_EQ(target->Truncate(2), svc::TargetProblem::None);
  EXPECT_EQ(target->Size(), 2);
}

// A file that is also another file's name (a hard link made after the write challenge) would
// have the other file written: neither name is opened, and nothing is written.
TEST(TargetFiles, AFileWithASecondNameIsNotOpened) {
  testsupport::TempFolder temp;
  const fs::path precious = temp.path() / "precious.txt";
  const fs::path game = temp.path() / "game.bin";
  HANDLE made = CreateFileW(precious.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(made, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(made, "mine", 4, &written, nullptr);
  CloseHandle(made);
  ASSERT_TRUE(CreateHardLinkW(game.wstring().c_str(), precious.wstring().c_str(), nullptr)) << GetLastError();
  svc::TargetProblem problem = svc::TargetProblem::None;
  uint32_t code = 0;
  for (const fs::path& name : {game, precious}) {
    EXPECT_FALSE(svc::TargetFile::Open(name, &problem, &code)) << name;
    EXPECT_EQ(problem, svc::TargetProblem::Redirected) << name;
  }
  EXPECT_EQ(readAll(precious), "mine");
  ASSERT_TRUE(DeleteFileW(game.wstring().c_str()));
  EXPECT_TRUE(svc::TargetFile::Open(precious, &problem, &code)) << "one name again: a plain file";
}

// A path Windows would refuse is refused before anything is made, and told as too long, not as a
// file that cannot be written for no reason the player can act on.
TEST(TargetFiles, APathTooLongForWindowsMakesNothingAndSaysSo) {
  testsupport::TempFolder temp;
  svc::TargetProblem problem = svc::TargetProblem::None;
  uint32_t code = 0;
  const fs::path longName = temp.path() / "game" / (std::string(256, 'n') + ".bin");
  EXPECT_FALSE(svc::TargetFile::Open(longName, &problem, &code));
  EXPECT_EQ(problem, svc::TargetProblem::NameTooLong);
  EXPECT_EQ(code, static_cast<uint32_t>(ERROR_FILENAME_EXCED_RANGE));
  EXPECT_FALSE(fs::exists(temp.path() / "game")) << "no folder is left behind";
  EXPECT_NE(svc::DescribeTargetProblem(problem, longName).find("choose a shorter folder"), std::string::npos);

  // Past 259 characters in all, a program without long paths is refused before making a folder;
  // one with them (Windows 10 with the machine's setting on) writes the file.
  fs::path deep = temp.path();
  while (deep.wstring().size() < 300) deep /= std::string(60, 'd');
  const fs::path deepFile = deep / "game.bin";
  std::unique_ptr<svc::TargetFile> opened = svc::TargetFile::Open(deepFile, &problem, &code);
  if (opened) {
    EXPECT_EQ(opened->Write(0, "data", 4), svc::TargetProblem::None);
  } else {
    EXPECT_EQ(problem, svc::TargetProblem::NameTooLong);
    EXPECT_FALSE(fs::exists(temp.path() / std::string(60, 'd')));
  }
}

TEST(TargetFiles, ARemovalWaitsOutAProgramHoldingTheFileAndReportsOneThatOutlastsIt) {
  testsupport::TempFolder temp;
  const fs::path file = temp.path() / "setup.exe";
  std::string error;
  ASSERT_TRUE(svc::ReplaceFileDurably(file, "MZ game", 0ms, &error)) << error;
  HANDLE installer = holdExclusively(file);
  ASSERT_NE(installer, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(svc::RemoveFilePatiently(file, 300ms));
  EXPECT_EQ(readAll(file), "MZ game") << "a file held open must be reported, not forgotten";

  std::thread release([installer] {
    std::this_thread::sleep_for(500ms);
    CloseHandle(installer);
  });
  EXPECT_TRUE(svc::RemoveFilePatiently(file, 5000ms));
  release.join();
  EXPECT_FALSE(fs::exists(file));
  EXPECT_TRUE(svc::RemoveFilePatiently(file, 0ms)) << "a file already gone is removed";
}

TEST(TargetFiles, AHiddenTokenFileLosesItsMarkWhenOpenedForTheGame) {
  testsupport::TempFolder temp;
  const fs::path file = temp.path() / "token.bin";
  HANDLE token = CreateFileW(file.wstring().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN,
                             nullptr);
  ASSERT_NE(token, INVALID_HANDLE_VALUE);
  CloseHandle(token);
  ASSERT_TRUE(GetFileAttributesW(file.wstring().c_str()) & FILE_ATTRIBUTE_HIDDEN);
  svc::TargetProblem problem = svc::TargetProblem::Failed;
  uint32_t code = 0;
  auto target = svc::TargetFile::Open(file, &problem, &code);
  ASSERT_TRUE(target);
  target->ClearHiddenMark();
  EXPECT_FALSE(GetFileAttributesW(file.wstring().c_str()) & FILE_ATTRIBUTE_HIDDEN);
}

// A large file is readied for segments far apart: it is made sparse (no zero fill before a far
// write), asked again it stays so, and the far write lands in place. Wine's drive C: (the build
// machine's file system, which it calls NTFS) takes the request as NTFS does; FAT32 and exFAT refuse
// it, which the service's tests of the decision stand in for.
TEST(TargetFiles, ALargeFileIsMadeSparseBeforeFarWrites) {
  testsupport::TempFolder temp;
  const fs::path file = temp.path() / "large.bin";
  svc::TargetProblem problem = svc::TargetProblem::Failed;
  uint32_t code = 0;
  auto target = svc::TargetFile::Open(file, &problem, &code);
  ASSERT_TRUE(target);
  ASSERT_EQ(target->PrepareForFarWrites(), svc::FarWrites::Sparse) << target->LastSystemCode();
  EXPECT_EQ(target->PrepareForFarWrites(), svc::FarWrites::Sparse);
  const char bytes[] = "three quarters in";
  ASSERT_EQ(target->Write(48LL * 1024 * 1024, bytes, sizeof bytes), svc::TargetProblem::None);
  EXPECT_EQ(target->Size(), 48LL * 1024 * 1024 + static_cast<int64_t>(sizeof bytes));
}

}  // namespace

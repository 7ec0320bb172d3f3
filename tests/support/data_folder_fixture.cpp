#include "tests/support/data_folder_fixture.h"

#include <stdlib.h>

#include <fstream>

#include "service_client/data_files.h"

namespace testsupport {

void DataFolderTest::SetUp() {
#ifndef _WIN32
  setenv("LOCALAPPDATA", temp_.utf8().c_str(), 1);
#endif
  char folder[kDataPathCapacity];
  size_t length = _ak_dataFolder(folder, sizeof folder);
  ASSERT_GT(length, 0u);
  dataFolder_ = std::filesystem::u8path(std::string(folder, length));
  std::filesystem::create_directories(dataFolder_);
  removeKnownFiles();
}

void DataFolderTest::TearDown() {
  removeKnownFiles();
#ifndef _WIN32
  unsetenv("LOCALAPPDATA");
#endif
}

void DataFolderTest::removeKnownFiles() const {
  std::error_code ignored;
  for (const char* name : {"installer.txt", "guid.ini", "accepteula.txt", "user.dat", "service_installer.exe", "serviceport.txt"}) {
    std::filesystem::remove(dataFolder_ / name, ignored);
  }
}

void DataFolderTest::removeDataFolder() const {
  std::error_code ignored;
  std::filesystem::remove_all(dataFolder_, ignored);
}

std::string DataFolderTest::readDataFile(const std::string& name) const { return readWholeFile(dataFolder_ / name); }

void DataFolderTest::writeDataFile(const std::string& name, const std::string& content) const {
  std::ofstream(dataFolder_ / name, std::ios::binary) << content;
}

}  // namespace testsupport

// Gives each test the library's data folder to itself. Natively the local application data
// folder follows LOCALAPPDATA, so it is pointed into a fresh temporary folder; under Windows the
// real folder is used, and the files a test may touch are removed before and after it.
#ifndef TESTS_SUPPORT_DATA_FOLDER_FIXTURE_H
#define TESTS_SUPPORT_DATA_FOLDER_FIXTURE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_folder.h"

namespace testsupport {

class DataFolderTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // "<local application data>/Tessel", which the fixture creates unless told not to.
  const std::filesystem::path& dataFolder() const { return dataFolder_; }
  std::string dataFolderText() const { return dataFolder_.generic_u8string(); }
  std::string readDataFile(const std::string& name) const;
  void writeDataFile(const std::string& name, const std::string& content) const;
  void removeDataFolder() const;

 private:
  void removeKnownFiles() const;

  TempFolder temp_;
  std::filesystem::path dataFolder_;
};

}  // namespace testsupport

#endif

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
#ifndef TESTS_SUPPORT_TEMP_FOLDER_H
#define TESTS_SUPPORT_TEMP_FOLDER_H

#include <filesystem>
#include <string>

namespace testsupport {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path as UTF-8 with forward slashes, as the library writes paths.
  std::string utf8(const std::string& child = "") const;

 private:
  std::filesystem::path path_;
};

std::string readWholeFile(const std::filesystem::path& path);

}  // namespace testsupport

#endif

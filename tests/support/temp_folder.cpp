#include "tests/support/temp_folder.h"

#include <fstream>
#include <random>
#include <sstream>

namespace testsupport {

TempFolder::TempFolder() {
  std::random_device random;
  for (;;) {
    auto candidate = std::filesystem::temp_directory_path() / ("ak-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(candidate)) {
      path_ = candidate;
      return;
    }
  }
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::utf8(const std::string& child) const {
  auto full = child.empty() ? path_ : path_ / std::filesystem::u8path(child);
  std::string text = full.generic_u8string();
  return text;
}

std::string readWholeFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace testsupport

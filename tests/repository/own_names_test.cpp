// Nothing we ship or publish may carry the names of the third parties whose names the downloader,
// the service and their texts used to carry. The names are kept here only as hashes of their
// lower-cased letters, so that this test does not spell them out either.
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr uint64_t kBase = 1099511628211ull;

// A polynomial hash of the lower-cased bytes, mod 2^64.
uint64_t NameHash(const std::string& text) {
  uint64_t hash = 0;
  for (unsigned char c : text) hash = hash * kBase + static_cast<unsigned char>(tolower(c));
  return hash;
}

struct HashedName {
  size_t length;
  uint64_t hash;
};

// The replaced names: a 6-, a 10-, a 6- and an 8-letter word.
const std::vector<HashedName> kReplacedNames = {
    {6, 0xf5b4649760affc9aull},
    {10, 0xd5b29fd982758fe5ull},
    {6, 0xd30c05f87f80209dull},
    {8, 0xb721465ac13d38ecull},
};

// Offsets at which one of the names starts in the content, case-insensitively (a rolling hash
// per length, so a whole tree is read once per length).
std::vector<size_t> FindNames(const std::string& content, const std::vector<HashedName>& names) {
  std::set<size_t> lengths;
  for (const HashedName& name : names) lengths.insert(name.length);
  std::vector<size_t> found;
  for (size_t length : lengths) {
    if (content.size() < length) continue;
    uint64_t power = 1;  // kBase^(length-1)
    for (size_t i = 1; i < length; ++i) power *= kBase;
    uint64_t hash = NameHash(content.substr(0, length));
    for (size_t start = 0;; ++start) {
      for (const HashedName& name : names) {
        if (name.length == length && name.hash == hash) found.push_back(start);
      }
      if (start + length >= content.size()) break;
      hash -= power * static_cast<unsigned char>(tolower(static_cast<unsigned char>(content[start])));
      hash = hash * kBase + static_cast<unsigned char>(tolower(static_cast<unsigned char>(content[start + length])));
    }
  }
  return found;
}

std::vector<std::string> TrackedFiles() {
  std::vector<std::string> files;
  const std::string command = "git -C '" AK_SOURCE_DIR "' ls-files -z 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return files;
  std::string name;
  for (int c; (c = fgetc(pipe)) != EOF;) {
    if (c != '\0') {
      name.push_back(static_cast<char>(c));
    } else if (!name.empty()) {
      files.push_back(name);
      name.clear();
    }
  }
  pclose(pipe);
  return files;
}

TEST(OwnNames, TheSearchFindsAHashedWordInAnyCaseAtAnyPlace) {
  const std::vector<HashedName> ours = {{6, NameHash("tessel")}};
  EXPECT_EQ(FindNames("TeSSeL", ours), std::vector<size_t>{0});
  EXPECT_EQ(FindNames("a Tessel_Download and tessel", ours), (std::vector<size_t>{2, 22}));
  EXPECT_EQ(FindNames("intesselated", ours), std::vector<size_t>{2});
  EXPECT_TRUE(FindNames("tesse", ours).empty());
  EXPECT_TRUE(FindNames("tessl tesse1", ours).empty());
  // Bytes above 127 (UTF-8, UTF-16 and binary files) roll through the hash like any other.
  EXPECT_EQ(FindNames(std::string("\xff\x00tessel", 8), ours), std::vector<size_t>{2});
}

TEST(OwnNames, NoTrackedFileCarriesAReplacedName) {
  const std::vector<std::string> files = TrackedFiles();
  ASSERT_GT(files.size(), 100u) << "git ls-files found no tracked files in " AK_SOURCE_DIR;
  // The file names themselves, then each file's bytes.
  for (const std::string& file : files) {
    EXPECT_TRUE(FindNames(file, kReplacedNames).empty()) << "the file name " << file;
  }
  for (const std::string& file : files) {
    std::ifstream in(std::string(AK_SOURCE_DIR) + "/" + file, std::ios::binary);
    if (!in) continue;  // deleted in the work tree but still tracked
    const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<size_t> found = FindNames(content, kReplacedNames);
    if (found.empty() && content.find('\0') != std::string::npos) {
      // UTF-16 text (the licence) spells an ASCII word with a zero byte after each letter.
      std::string narrow = content;
      narrow.erase(std::remove(narrow.begin(), narrow.end(), '\0'), narrow.end());
      found = FindNames(narrow, kReplacedNames);
    }
    EXPECT_TRUE(found.empty()) << file << " carries a replaced name at byte " << found.front();
  }
}

}  // namespace

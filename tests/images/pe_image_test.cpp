// The reader of Windows images that the image checks rest on, on images made here byte by byte:
// a delay-import slot that does not point into code must be found in 32-bit and 64-bit images
// alike, whether or not the data directory announces the table (GNU ld leaves it empty).
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "tests/support/pe_image.h"

namespace {

constexpr uint32_t kText = 0x1000;  // .text: code, at file offset 0x400
constexpr uint32_t kData = 0x2000;  // .data: not code, at file offset 0x600

// A two-section image with one delay-import table for WININET.dll whose slots hold these addresses
// (relative to the image; 0 stays 0).
class DelayImportImage {
 public:
  DelayImportImage(bool plus, const std::vector<uint32_t>& slots, bool announced = false)
      : plus_(plus), bytes_(0x800, '\0') {
    const uint64_t imageBase = plus ? 0x140000000ull : 0x400000ull;
    const size_t optional = 0x58;
    const uint16_t optionalSize = plus ? 0xf0 : 0xe0;
    put(0, "MZ");
    put32(0x3c, 0x40);
    put32(0x40, 0x00004550);
    put16(0x44, plus ? 0x8664 : 0x14c);
    put16(0x46, 2);
    put16(0x54, optionalSize);
    put16(optional, plus ? 0x20b : 0x10b);
    if (plus) {
      putPointer(optional + 24, imageBase);
    } else {
      put32(optional + 28, static_cast<uint32_t>(imageBase));
    }
    put16(optional + 68, 2);
    const size_t directories = optional + (plus ? 112 : 96);
    if (announced) put32(directories + 13 * 8, kData);
    section(optional + optionalSize, ".text", kText, 0x400, 0x60000020);
    section(optional + optionalSize + 40, ".data", kData, 0x600, 0xc0000040);

    const uint32_t name = kData + 0x40, handle = kData + 0x50, iat = kData + 0x80, names = kData + 0xc0;
    const std::vector<uint32_t> descriptor = {1, name, handle, iat, names, 0, 0, 0};
    for (size_t i = 0; i < descriptor.size(); ++i) put32(file(kData) + 4 * i, descriptor[i]);
    put(file(name), "WININET.dll");
    const size_t slot = plus ? 8 : 4;
    for (size_t i = 0; i < slots.size(); ++i) {
      const uint32_t hintAndName = kData + 0x100 + static_cast<uint32_t>(i) * 0x20;
      put(file(hintAndName) + 2, "Function" + std::to_string(i));
      putPointer(file(names) + i * slot, hintAndName);
      putPointer(file(iat) + i * slot, slots[i] == 0 ? 0 : imageBase + slots[i]);
    }
  }

  const std::string& bytes() const { return bytes_; }

 private:
  static size_t file(uint32_t rva) { return rva >= kData ? rva - kData + 0x600 : rva - kText + 0x400; }
  void put(size_t at, const std::string& text) { memcpy(&bytes_[at], text.data(), text.size()); }
  void put16(size_t at, uint16_t value) { memcpy(&bytes_[at], &value, 2); }
  void put32(size_t at, uint32_t value) { memcpy(&bytes_[at], &value, 4); }
  void putPointer(size_t at, uint64_t value) {
    if (plus_) {
      memcpy(&bytes_[at], &value, 8);
    } else {
      put32(at, static_cast<uint32_t>(value));
    }
  }
  void section(size_t at, const char* name, uint32_t rva, uint32_t raw, uint32_t characteristics) {
    put(at, name);
    put32(at + 8, 0x200);
    put32(at + 12, rva);
    put32(at + 16, 0x200);
    put32(at + 20, raw);
    put32(at + 36, characteristics);
  }

  bool plus_;
  std::string bytes_;
};

TEST(PeImageDelayImports, SlotsThatPointIntoCodeAreSound) {
  for (bool plus : {false, true}) {
    const testsupport::PeImage image = testsupport::readPeImageBytes(DelayImportImage(plus, {0x1010, 0x1020}).bytes());
    ASSERT_TRUE(image.valid) << plus;
    ASSERT_EQ(image.delayImports.size(), 1u) << plus;
    EXPECT_EQ(image.delayImports[0].dll, "WININET.dll");
    EXPECT_EQ(image.delayImports[0].functions, 2u);
    EXPECT_TRUE(image.delayImports[0].slotsOutsideCode.empty()) << plus;
  }
}

TEST(PeImageDelayImports, ASlotLeftZeroOrPointingIntoDataIsNamed) {
  for (bool plus : {false, true}) {
    const testsupport::PeImage image =
        testsupport::readPeImageBytes(DelayImportImage(plus, {0x1010, 0, 0x2010, 0x11fc}).bytes());
    ASSERT_EQ(image.delayImports.size(), 1u) << plus;
    EXPECT_EQ(image.delayImports[0].functions, 4u);
    EXPECT_EQ(image.delayImports[0].slotsOutsideCode, (std::vector<std::string>{"Function1", "Function2"})) << plus;
  }
}

TEST(PeImageDelayImports, ATableTheDataDirectoryAlsoAnnouncesIsCountedOnce) {
  const testsupport::PeImage image =
      testsupport::readPeImageBytes(DelayImportImage(false, {0}, /*announced=*/true).bytes());
  ASSERT_EQ(image.delayImports.size(), 1u);
  EXPECT_EQ(image.delayImports[0].slotsOutsideCode, std::vector<std::string>{"Function0"});
}

TEST(PeImageDelayImports, ImagesWithoutTablesAndDamagedImages) {
  std::string plain = DelayImportImage(false, {}).bytes();
  memset(&plain[0x600], 0, 32);  // no descriptor left
  EXPECT_TRUE(testsupport::readPeImageBytes(plain).delayImports.empty());

  const std::string whole = DelayImportImage(true, {0x1010}).bytes();
  for (size_t length : {size_t{0}, size_t{0x41}, size_t{0x100}, size_t{0x610}}) {
    EXPECT_FALSE(testsupport::readPeImageBytes(whole.substr(0, length)).valid) << length;
  }
}

}  // namespace

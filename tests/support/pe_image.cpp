#include "tests/support/pe_image.h"

#include <string.h>

#include <algorithm>
#include <vector>

#include "tests/support/temp_folder.h"

namespace testsupport {
namespace {

struct Reader {
  const std::string& bytes;
  bool ok = true;

  uint32_t u32(size_t at) {
    if (at + 4 > bytes.size()) return ok = false, 0;
    uint32_t v;
    memcpy(&v, bytes.data() + at, 4);
    return v;
  }
  uint16_t u16(size_t at) {
    if (at + 2 > bytes.size()) return ok = false, 0;
    uint16_t v;
    memcpy(&v, bytes.data() + at, 2);
    return v;
  }
  std::string text(size_t at) {
    if (at >= bytes.size()) return ok = false, std::string();
    return std::string(bytes.data() + at, strnlen(bytes.data() + at, bytes.size() - at));
  }
};

struct Section {
  uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

}  // namespace

PeImage readPeImage(const std::filesystem::path& file) {
  PeImage image;
  std::string bytes = readWholeFile(file);
  Reader r{bytes};
  if (bytes.size() < 0x40 || bytes.compare(0, 2, "MZ") != 0) return image;
  uint32_t pe = r.u32(0x3c);
  if (r.u32(pe) != 0x00004550) return image;
  image.machine = r.u16(pe + 4);
  uint16_t sectionCount = r.u16(pe + 6);
  uint16_t optionalSize = r.u16(pe + 20);
  size_t optional = pe + 24;
  bool plus = r.u16(optional) == 0x20b;
  image.subsystem = r.u16(optional + 68);
  size_t directories = optional + (plus ? 112 : 96);
  std::vector<Section> sections;
  for (size_t i = 0, at = optional + optionalSize; i < sectionCount; ++i, at += 40) {
    sections.push_back({r.u32(at + 12), r.u32(at + 8), r.u32(at + 20), r.u32(at + 16)});
  }
  auto offsetOf = [&](uint32_t rva) -> size_t {
    for (const auto& s : sections) {
      if (rva >= s.virtualAddress && rva < s.virtualAddress + std::max(s.virtualSize, s.rawSize)) {
        return rva - s.virtualAddress + s.rawOffset;
      }
    }
    r.ok = false;
    return 0;
  };

  uint32_t exportRva = r.u32(directories);
  if (exportRva != 0) {
    size_t exportDirectory = offsetOf(exportRva);
    uint32_t nameCount = r.u32(exportDirectory + 24);
    size_t names = offsetOf(r.u32(exportDirectory + 32));
    for (uint32_t i = 0; i < nameCount && r.ok; ++i) image.exports.insert(r.text(offsetOf(r.u32(names + 4 * i))));
  }
  uint32_t importRva = r.u32(directories + 8);
  if (importRva != 0) {
    for (size_t at = offsetOf(importRva); r.ok && r.u32(at + 12) != 0; at += 20) {
      std::string name = r.text(offsetOf(r.u32(at + 12)));
      std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
      image.imports.insert(name);
    }
  }
  image.valid = r.ok;
  return image;
}

}  // namespace testsupport

#include "tests/support/pe_image.h"

#include <string.h>

#include <algorithm>

#include "tests/support/temp_folder.h"

namespace testsupport {
namespace {

constexpr uint32_t kCodeSection = 0x00000020;
constexpr uint32_t kExecutableSection = 0x20000000;
constexpr size_t kDelayDescriptorSize = 32;
constexpr size_t kMostDelayedFunctions = 4096;

struct Section {
  uint32_t virtualAddress, virtualSize, rawOffset, rawSize, characteristics;
};

class Reader {
 public:
  explicit Reader(const std::string& bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  size_t size() const { return bytes_.size(); }

  uint64_t u64(size_t at) { return read<uint64_t>(at); }
  uint32_t u32(size_t at) { return read<uint32_t>(at); }
  uint16_t u16(size_t at) { return read<uint16_t>(at); }
  std::string text(size_t at) {
    if (at >= bytes_.size()) return ok_ = false, std::string();
    return std::string(bytes_.data() + at, strnlen(bytes_.data() + at, bytes_.size() - at));
  }

  // The file offset of an address relative to the image, or nothing outside every section's data.
  bool offsetOf(uint32_t rva, size_t* offset) const {
    for (const auto& s : sections) {
      if (rva >= s.virtualAddress && rva < s.virtualAddress + std::max(s.virtualSize, s.rawSize)) {
        if (rva - s.virtualAddress >= s.rawSize) return false;
        *offset = rva - s.virtualAddress + s.rawOffset;
        return *offset < bytes_.size();
      }
    }
    return false;
  }
  size_t offsetOrFail(uint32_t rva) {
    size_t offset = 0;
    if (!offsetOf(rva, &offset)) ok_ = false;
    return offset;
  }
  bool inCode(uint32_t rva) const {
    for (const auto& s : sections) {
      if ((s.characteristics & (kCodeSection | kExecutableSection)) != 0 && rva >= s.virtualAddress &&
          rva < s.virtualAddress + std::max(s.virtualSize, s.rawSize)) {
        return true;
      }
    }
    return false;
  }

  std::vector<Section> sections;

 private:
  template <typename T>
  T read(size_t at) {
    T value{};
    if (at > bytes_.size() || bytes_.size() - at < sizeof value) return ok_ = false, value;
    memcpy(&value, bytes_.data() + at, sizeof value);
    return value;
  }

  const std::string& bytes_;
  bool ok_ = true;
};

std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// A DLL's file name as a descriptor names it: printable, ending in ".dll".
bool isDllName(const std::string& name) {
  if (name.size() < 5 || name.size() > 64) return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c > 0x7e) return false;
  }
  return lowerCase(name.substr(name.size() - 4)) == ".dll";
}

// The descriptor at a file offset: grAttrs 1 (addresses relative to the image), the DLL's name, its
// handle, import slots and names inside the image, and no bound, unload or time stamp entries.
bool looksLikeDelayDescriptor(Reader& r, size_t at) {
  if (r.u32(at) != 1 || r.u32(at + 20) != 0 || r.u32(at + 24) != 0 || r.u32(at + 28) != 0) return false;
  size_t name = 0;
  size_t ignored = 0;
  return r.offsetOf(r.u32(at + 4), &name) && r.offsetOf(r.u32(at + 8), &ignored) &&
         r.offsetOf(r.u32(at + 12), &ignored) && r.offsetOf(r.u32(at + 16), &ignored) && isDllName(r.text(name));
}

DelayImport readDelayDescriptor(Reader& r, size_t at, bool plus, uint64_t imageBase) {
  DelayImport table;
  table.dll = r.text(r.offsetOrFail(r.u32(at + 4)));
  const size_t slotSize = plus ? 8 : 4;
  const size_t slots = r.offsetOrFail(r.u32(at + 12));
  const size_t names = r.offsetOrFail(r.u32(at + 16));
  for (size_t i = 0; i < kMostDelayedFunctions && r.ok(); ++i) {
    const uint64_t name = plus ? r.u64(names + i * slotSize) : r.u32(names + i * slotSize);
    if (name == 0) break;
    const uint64_t slot = plus ? r.u64(slots + i * slotSize) : r.u32(slots + i * slotSize);
    ++table.functions;
    const uint64_t ordinalFlag = plus ? (1ull << 63) : (1ull << 31);
    const bool inCode = slot >= imageBase && slot - imageBase < 0x80000000ull &&
                        r.inCode(static_cast<uint32_t>(slot - imageBase));
    if (!inCode) {
      size_t hintAndName = 0;
      table.slotsOutsideCode.push_back((name & ordinalFlag) != 0 ? "#" + std::to_string(name & 0xffff)
                                       : r.offsetOf(static_cast<uint32_t>(name), &hintAndName)
                                           ? r.text(hintAndName + 2)
                                           : "?");
    }
  }
  return table;
}

void readDelayImports(Reader& r, PeImage& image, size_t directories, bool plus, uint64_t imageBase) {
  std::set<uint32_t> seen;  // by their import slots' address
  auto take = [&](size_t at) {
    if (!seen.insert(r.u32(at + 12)).second) return;
    image.delayImports.push_back(readDelayDescriptor(r, at, plus, imageBase));
  };
  const uint32_t directoryRva = r.u32(directories + 13 * 8);
  if (directoryRva != 0) {
    for (size_t at = r.offsetOrFail(directoryRva); r.ok() && r.u32(at + 4) != 0; at += kDelayDescriptorSize) take(at);
  }
  for (const auto& s : r.sections) {
    const size_t end = std::min<size_t>(s.rawOffset + s.rawSize, r.size());
    for (size_t at = s.rawOffset; at + kDelayDescriptorSize <= end; at += 4) {
      if (looksLikeDelayDescriptor(r, at)) take(at);
    }
  }
}

}  // namespace

PeImage readPeImageBytes(const std::string& bytes) {
  PeImage image;
  Reader r(bytes);
  if (bytes.size() < 0x40 || bytes.compare(0, 2, "MZ") != 0) return image;
  const uint32_t pe = r.u32(0x3c);
  if (r.u32(pe) != 0x00004550) return image;
  image.machine = r.u16(pe + 4);
  const uint16_t sectionCount = r.u16(pe + 6);
  const uint16_t optionalSize = r.u16(pe + 20);
  const size_t optional = pe + 24;
  const bool plus = r.u16(optional) == 0x20b;
  const uint64_t imageBase = plus ? r.u64(optional + 24) : r.u32(optional + 28);
  image.subsystem = r.u16(optional + 68);
  const size_t directories = optional + (plus ? 112 : 96);
  for (size_t i = 0, at = optional + optionalSize; i < sectionCount; ++i, at += 40) {
    r.sections.push_back({r.u32(at + 12), r.u32(at + 8), r.u32(at + 20), r.u32(at + 16), r.u32(at + 36)});
    // A file cut short loses what its sections held: nothing read from it can be trusted.
    if (uint64_t{r.sections.back().rawOffset} + r.sections.back().rawSize > bytes.size()) return image;
  }

  const uint32_t exportRva = r.u32(directories);
  if (exportRva != 0) {
    const size_t exportDirectory = r.offsetOrFail(exportRva);
    const uint32_t nameCount = r.u32(exportDirectory + 24);
    const size_t names = r.offsetOrFail(r.u32(exportDirectory + 32));
    for (uint32_t i = 0; i < nameCount && r.ok(); ++i) {
      image.exports.insert(r.text(r.offsetOrFail(r.u32(names + 4 * i))));
    }
  }
  const uint32_t importRva = r.u32(directories + 8);
  if (importRva != 0) {
    for (size_t at = r.offsetOrFail(importRva); r.ok() && r.u32(at + 12) != 0; at += 20) {
      image.imports.insert(lowerCase(r.text(r.offsetOrFail(r.u32(at + 12)))));
    }
  }
  readDelayImports(r, image, directories, plus, imageBase);
  image.valid = r.ok();
  return image;
}

PeImage readPeImage(const std::filesystem::path& file) { return readPeImageBytes(readWholeFile(file)); }

}  // namespace testsupport

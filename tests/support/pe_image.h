// Reads what a test needs from a Windows executable file: machine, subsystem, the names it
// exports and the DLLs it imports. Works on PE32 and PE32+ files alike, on any system.
#ifndef TESTS_SUPPORT_PE_IMAGE_H
#define TESTS_SUPPORT_PE_IMAGE_H

#include <stdint.h>

#include <filesystem>
#include <set>
#include <string>

namespace testsupport {

struct PeImage {
  bool valid = false;
  uint16_t machine = 0;    // 0x14c for 32-bit x86, 0x8664 for x86-64
  uint16_t subsystem = 0;  // 2 for a GUI program, 3 for a console program
  std::set<std::string> exports;
  std::set<std::string> imports;  // DLL names, lower case
};

PeImage readPeImage(const std::filesystem::path& file);

}  // namespace testsupport

#endif

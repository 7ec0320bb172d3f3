// Reads what a test needs from a Windows executable file: machine, subsystem, the names it
// exports, the DLLs it imports at start-up and the delay-import tables it carries. Works on PE32
// and PE32+ files alike, on any system.
#ifndef TESTS_SUPPORT_PE_IMAGE_H
#define TESTS_SUPPORT_PE_IMAGE_H

#include <stdint.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace testsupport {

// One DLL's delay-import table. Until its first call, each function's import slot holds the address
// of a small piece of code that loads the DLL; a slot holding anything else (0, when the linker
// dropped that code) is a jump to nowhere at the first call.
struct DelayImport {
  std::string dll;
  size_t functions = 0;
  std::vector<std::string> slotsOutsideCode;  // the functions whose slot does not point into code
};

struct PeImage {
  bool valid = false;
  uint16_t machine = 0;    // 0x14c for 32-bit x86, 0x8664 for x86-64
  uint16_t subsystem = 0;  // 2 for a GUI program, 3 for a console program
  std::set<std::string> exports;
  std::set<std::string> imports;  // DLL names, lower case
  // Found through the data directory and, since GNU ld leaves that entry empty, by the shape of
  // the descriptors dlltool writes into the image.
  std::vector<DelayImport> delayImports;
};

PeImage readPeImage(const std::filesystem::path& file);
PeImage readPeImageBytes(const std::string& bytes);

}  // namespace testsupport

#endif

// The texts of the system inventory, computed from facts the platform reports: the operating
// system's display name, the memory size, the user id taken from the network adapters and the
// WMI hardware values. Pure functions; the platform calls that gather the facts live elsewhere.
#ifndef TELEMETRY_INVENTORY_TEXTS_H
#define TELEMETRY_INVENTORY_TEXTS_H

#include <stddef.h>
#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

extern const wchar_t kUnknownText[];  // "unknown"

enum class ProcessorArchitecture { X86, X64, Itanium, Other };

// What the extended version information, the native system information, the R2 system metric
// and (on version 6) the product type say about the running system.
struct OsVersionFacts {
  bool platformIsNt = true;
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  bool workstation = false;  // the product type of the version information is "workstation"
  uint32_t suiteMask = 0;
  std::wstring servicePack;  // e.g. "Service Pack 1", may be empty
  ProcessorArchitecture architecture = ProcessorArchitecture::Other;
  bool serverR2 = false;     // the system metric for Windows Server 2003 R2
  uint32_t productType = 0;  // the edition code of version 6 systems
};

// The longest display name, in characters; longer names are cut.
constexpr size_t kMaxOsDisplayNameLength = 255;

// The edition text of a version 6 product type ("Professional" for 48); empty for codes without one.
std::wstring EditionName(uint32_t productType);

// "Microsoft Windows 7 Professional Service Pack 1 (build 7601), 64-bit"; none for systems
// that are not Windows NT or older than version 5.
std::optional<std::wstring> OsDisplayName(const OsVersionFacts& facts);

// Total physical memory: "%.0fMB" of MiB below 1,000,000,000 bytes, else "%.1fGB" of GiB, both
// computed in single precision: 536870912 gives 512MB, 2147483648 gives 2.0GB.
std::wstring MemoryText(uint64_t bytes);

struct NetworkAdapter {
  uint32_t type = 0;  // interface type; 6 is Ethernet
  uint8_t address[8] = {};
};

// The first six address bytes of the last Ethernet adapter in the list, as 12 lowercase
// hexadecimal digits; empty when there is none.
std::wstring AdapterIdText(const std::vector<NetworkAdapter>& adapters);

// "%d" of the screen's right and bottom coordinates: "1920x1080".
std::wstring ScreenSizeText(int32_t right, int32_t bottom);

// The processor count from WMI: "%d" when above 0, else "unknown".
std::wstring ProcessorCountText(int64_t numberOfProcessors);

// Logical processors per processor, truncated (the logical count itself when the processor count
// is not above 0): "%d" when above 0, else "unknown". 2 and 8 give 4.
std::wstring CoresPerProcessorText(int64_t numberOfProcessors, int64_t numberOfLogicalProcessors);

// A graphics adapter's memory in whole MiB ("%d"), "unknown" for 0. WMI reports the byte count
// as a 32-bit number; it is read unsigned, so cards of 2 GiB and more are not reported as
// "unknown": 268435456 gives 256, 0xC0000000 gives 3072.
std::wstring GraphicsMemoryText(uint32_t adapterRam);

// The .NET Framework version: the last non-empty subkey name in enumeration order, else "unknown".
std::wstring LastNonEmptyName(const std::vector<std::wstring>& names);

#endif

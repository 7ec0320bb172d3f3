// The platform queries behind the system inventory, one per fact (registry values, adapter list,
// version information, memory, screen, locale, WMI). The Windows implementation makes the calls;
// tests fake them. None of them throws; a failed query answers "nothing".
#ifndef TELEMETRY_INVENTORY_PROBE_H
#define TELEMETRY_INVENTORY_PROBE_H

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "telemetry/inventory_texts.h"

struct WmiVideoController {
  std::wstring name;
  uint32_t adapterRam = 0;  // bytes, as WMI's 32-bit value
};

struct WmiComputerSystem {
  int64_t numberOfProcessors = 0;
  int64_t numberOfLogicalProcessors = 0;
};

// What the two WMI queries returned, in the order of the objects.
struct WmiInventory {
  std::vector<WmiVideoController> videoControllers;
  std::vector<WmiComputerSystem> computerSystems;
};

class InventoryProbe {
 public:
  virtual ~InventoryProbe() = default;
  // The per-user UserId value (HKEY_CURRENT_USER\Software\Tessel Games\Downloader).
  virtual std::optional<std::wstring> ReadStoredUserId() = 0;
  // Writes it, creating the key when missing; a failure is ignored.
  virtual void StoreUserId(const std::wstring& userId) = 0;
  // The adapter list in system order; none when the query fails.
  virtual std::optional<std::vector<NetworkAdapter>> NetworkAdapters() = 0;
  virtual std::optional<OsVersionFacts> OsVersion() = 0;
  virtual std::optional<std::wstring> InternetExplorerVersion() = 0;
  // The desktop window's right and bottom coordinates.
  virtual void DesktopSize(int32_t* right, int32_t* bottom) = 0;
  // The user's default locale's ISO 639 language name.
  virtual std::optional<std::wstring> LanguageName() = 0;
  virtual std::optional<std::wstring> FlashPlayerVersion() = 0;
  // The subkey names of the .NET Framework setup key, in enumeration order.
  virtual std::vector<std::wstring> DotNetSubkeys() = 0;
  virtual uint64_t PhysicalMemoryBytes() = 0;
  virtual uint32_t ProcessorCount() = 0;
  virtual std::optional<uint32_t> ProcessorMegahertz() = 0;
  // Both WMI queries; none when any step of reaching WMI or querying it fails.
  virtual std::optional<WmiInventory> QueryWmi() = 0;
};

#endif

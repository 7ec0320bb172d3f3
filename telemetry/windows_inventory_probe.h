// The inventory's facts as Windows reports them: registry values, the adapter list, version
// information, memory, the screen, the locale and two WMI queries.
#ifndef TELEMETRY_WINDOWS_INVENTORY_PROBE_H
#define TELEMETRY_WINDOWS_INVENTORY_PROBE_H

#include "telemetry/inventory_probe.h"

// Where the user id is kept, under HKEY_CURRENT_USER.
extern const wchar_t kUserIdKeyPath[];

class WindowsInventoryProbe : public InventoryProbe {
 public:
  std::optional<std::wstring> ReadStoredUserId() override;
  void StoreUserId(const std::wstring& userId) override;
  std::optional<std::vector<NetworkAdapter>> NetworkAdapters() override;
  std::optional<OsVersionFacts> OsVersion() override;
  std::optional<std::wstring> InternetExplorerVersion() override;
  void DesktopSize(int32_t* right, int32_t* bottom) override;
  std::optional<std::wstring> LanguageName() override;
  std::optional<std::wstring> FlashPlayerVersion() override;
  std::vector<std::wstring> DotNetSubkeys() override;
  uint64_t PhysicalMemoryBytes() override;
  uint32_t ProcessorCount() override;
  std::optional<uint32_t> ProcessorMegahertz() override;
  std::optional<WmiInventory> QueryWmi() override;
};

#endif

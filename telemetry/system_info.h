// The machine description of a run: each value computed from the platform the first time it is
// asked for and kept. A value whose text comes out empty (a user id when no id is stored and no
// Ethernet adapter exists, say) is computed again at the next request. The four WMI values are
// filled by GatherWmiInventory on the worker thread; the download service client's GUID is stored by
// the client start-up and reads "unknown" until then.
//
// Threads: every getter and setter may be called from any thread; one lock keeps two threads
// from computing or storing the same value at once. The slow WMI queries run outside it.
#ifndef TELEMETRY_SYSTEM_INFO_H
#define TELEMETRY_SYSTEM_INFO_H

#include <functional>
#include <mutex>
#include <string>

#include "telemetry/inventory_probe.h"
#include "telemetry/system_description.h"

class SystemInfo : public SystemDescription {
 public:
  explicit SystemInfo(InventoryProbe& probe);

  // The stored UserId, else the network-adapter id, which is then stored (even when empty).
  std::wstring UserId() override;
  std::wstring OperatingSystem() override;
  std::wstring InternetExplorerVersion() override;
  std::wstring ScreenSize() override;
  std::wstring Language() override;
  std::wstring FlashVersion() override;
  std::wstring DotNetVersion() override;
  std::wstring Memory() override;
  std::wstring ProcessorCount() override;
  std::wstring CoresPerProcessor() override;
  std::wstring ProcessorClock() override;
  std::wstring GraphicsCard() override;
  std::wstring GraphicsMemory() override;
  std::wstring ClientGuid() override;

  // An empty GUID leaves the text "unknown".
  void SetClientGuid(const std::wstring& guid);
  // Graphics card and memory from every video controller and processor count and cores from
  // every computer system, the last one winning; all four "unknown" when WMI fails.
  void GatherWmiInventory();

 private:
  std::wstring Cached(std::wstring& field, const std::function<std::wstring()>& compute);

  InventoryProbe& probe_;
  std::mutex mutex_;
  std::wstring userId_;
  std::wstring operatingSystem_;
  std::wstring internetExplorer_;
  std::wstring screenSize_;
  std::wstring language_;
  std::wstring flash_;
  std::wstring dotNet_;
  std::wstring memory_;
  std::wstring processorCount_;
  std::wstring coresPerProcessor_;
  std::wstring processorClock_;
  std::wstring graphicsCard_;
  std::wstring graphicsMemory_;
  std::wstring clientGuid_ = L"unknown";
};

#endif

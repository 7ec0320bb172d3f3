#include "telemetry/system_info.h"

#include <optional>

#include "telemetry/inventory_texts.h"

namespace {

std::wstring OrUnknown(const std::optional<std::wstring>& text) { return text ? *text : kUnknownText; }

}  // namespace

SystemInfo::SystemInfo(InventoryProbe& probe) : probe_(probe) {}

std::wstring SystemInfo::Cached(std::wstring& field, const std::function<std::wstring()>& compute) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (field.empty()) field = compute();
  return field;
}

std::wstring SystemInfo::UserId() {
  return Cached(userId_, [this] {
    std::optional<std::wstring> stored = probe_.ReadStoredUserId();
    if (stored && !stored->empty()) return *stored;
    std::optional<std::vector<NetworkAdapter>> adapters = probe_.NetworkAdapters();
    std::wstring id = adapters ? AdapterIdText(*adapters) : std::wstring();
    probe_.StoreUserId(id);
    return id;
  });
}

std::wstring SystemInfo::OperatingSystem() {
  return Cached(operatingSystem_, [this] {
    std::optional<OsVersionFacts> facts = probe_.OsVersion();
    return OrUnknown(facts ? OsDisplayName(*facts) : std::nullopt);
  });
}

std::wstring SystemInfo::InternetExplorerVersion() {
  return Cached(internetExplorer_, [this] { return OrUnknown(probe_.InternetExplorerVersion()); });
}

std::wstring SystemInfo::ScreenSize() {
  return Cached(screenSize_, [this] {
    int32_t right = 0;
    int32_t bottom = 0;
    probe_.DesktopSize(&right, &bottom);
    return ScreenSizeText(right, bottom);
  });
}

std::wstring SystemInfo::Language() {
  return Cached(language_, [this] { return probe_.LanguageName().value_or(L""); });
}

std::wstring SystemInfo::FlashVersion() {
  return Cached(flash_, [this] { return OrUnknown(probe_.FlashPlayerVersion()); });
}

std::wstring SystemInfo::DotNetVersion() {
  return Cached(dotNet_, [this] { return LastNonEmptyName(probe_.DotNetSubkeys()); });
}

std::wstring SystemInfo::Memory() {
  return Cached(memory_, [this] { return MemoryText(probe_.PhysicalMemoryBytes()); });
}

std::wstring SystemInfo::ProcessorCount() {
  return Cached(processorCount_, [this] { return std::to_wstring(probe_.ProcessorCount()); });
}

std::wstring SystemInfo::CoresPerProcessor() {
  return Cached(coresPerProcessor_, [] { return std::wstring(kUnknownText); });
}

std::wstring SystemInfo::ProcessorClock() {
  return Cached(processorClock_, [this] {
    std::optional<uint32_t> megahertz = probe_.ProcessorMegahertz();
    return megahertz ? std::to_wstring(*megahertz) : std::wstring(kUnknownText);
  });
}

std::wstring SystemInfo::GraphicsCard() {
  return Cached(graphicsCard_, [] { return std::wstring(kUnknownText); });
}

std::wstring SystemInfo::GraphicsMemory() {
  return Cached(graphicsMemory_, [] { return std::wstring(kUnknownText); });
}

std::wstring SystemInfo::ClientGuid() {
  std::lock_guard<std::mutex> lock(mutex_);
  return clientGuid_;
}

void SystemInfo::SetClientGuid(const std::wstring& guid) {
  std::lock_guard<std::mutex> lock(mutex_);
  clientGuid_ = guid.empty() ? kUnknownText : guid;
}

void SystemInfo::GatherWmiInventory() {
  std::optional<WmiInventory> wmi = probe_.QueryWmi();
  std::lock_guard<std::mutex> lock(mutex_);
  if (!wmi) {
    graphicsCard_ = graphicsMemory_ = processorCount_ = coresPerProcessor_ = kUnknownText;
    return;
  }
  for (const auto& controller : wmi->videoControllers) {
    graphicsCard_ = controller.name;
    graphicsMemory_ = GraphicsMemoryText(controller.adapterRam);
  }
  for (const auto& system : wmi->computerSystems) {
    processorCount_ = ProcessorCountText(system.numberOfProcessors);
    coresPerProcessor_ = CoresPerProcessorText(system.numberOfProcessors, system.numberOfLogicalProcessors);
  }
}

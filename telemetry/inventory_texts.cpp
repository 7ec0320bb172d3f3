#include "telemetry/inventory_texts.h"

#include <stdio.h>

const wchar_t kUnknownText[] = L"unknown";

namespace {

constexpr uint32_t kSuiteEnterprise = 0x2;
constexpr uint32_t kSuiteDatacenter = 0x80;
constexpr uint32_t kSuitePersonal = 0x200;
constexpr uint32_t kSuiteBlade = 0x400;
constexpr uint32_t kSuiteStorageServer = 0x2000;
constexpr uint32_t kSuiteComputeServer = 0x4000;
constexpr uint32_t kSuiteHomeServer = 0x8000;

constexpr uint32_t kEthernetAdapter = 6;

std::wstring Widen(const char* ascii) {
  std::wstring out;
  for (; *ascii != '\0'; ++ascii) out.push_back(static_cast<wchar_t>(*ascii));
  return out;
}

std::wstring DecimalText(int64_t value) {
  char text[24];
  snprintf(text, sizeof text, "%d", static_cast<int>(static_cast<int32_t>(value)));
  return Widen(text);
}

const wchar_t* ServerEdition2003(const OsVersionFacts& facts) {
  bool datacenter = (facts.suiteMask & kSuiteDatacenter) != 0;
  bool enterprise = (facts.suiteMask & kSuiteEnterprise) != 0;
  if (facts.architecture == ProcessorArchitecture::Itanium) {
    if (datacenter) return L"Datacenter Edition for Itanium-based Systems";
    if (enterprise) return L"Enterprise Edition for Itanium-based Systems";
    return L"";
  }
  if (facts.architecture == ProcessorArchitecture::X64) {
    if (datacenter) return L"Datacenter x64 Edition";
    if (enterprise) return L"Enterprise x64 Edition";
    return L"Standard x64 Edition";
  }
  if ((facts.suiteMask & kSuiteComputeServer) != 0) return L"Compute Cluster Edition";
  if (datacenter) return L"Datacenter Edition";
  if (enterprise) return L"Enterprise Edition";
  if ((facts.suiteMask & kSuiteBlade) != 0) return L"Web Edition";
  return L"Standard Edition";
}

const wchar_t* ProductName2003(const OsVersionFacts& facts) {
  if (facts.serverR2) return L"Windows Server 2003 R2, ";
  if ((facts.suiteMask & kSuiteStorageServer) != 0) return L"Windows Storage Server 2003";
  if ((facts.suiteMask & kSuiteHomeServer) != 0) return L"Windows Home Server";
  if (facts.workstation && facts.architecture == ProcessorArchitecture::X64) {
    return L"Windows XP Professional x64 Edition";
  }
  return L"Windows Server 2003, ";
}

}  // namespace

std::wstring EditionName(uint32_t productType) {
  switch (productType) {
    case 1: return L"Ultimate Edition";
    case 2: return L"Home Basic Edition";
    case 3: return L"Home Premium Edition";
    case 4:
    case 10: return L"Enterprise Edition";
    case 6: return L"Business Edition";
    case 7: return L"Standard Edition";
    case 8: return L"Datacenter Edition";
    case 9: return L"Small Business Server";
    case 11: return L"Starter Edition";
    case 12: return L"Datacenter Edition (core installation)";
    case 13: return L"Standard Edition (core installation)";
    case 14: return L"Enterprise Edition (core installation)";
    case 15: return L"Enterprise Edition for Itanium-based Systems";
    case 17: return L"Web Server Edition";
    case 18: return L"Cluster Server Edition";
    case 25: return L"Small Business Server Premium Edition";
    case 48: return L"Professional";
    default: return L"";
  }
}

std::optional<std::wstring> OsDisplayName(const OsVersionFacts& facts) {
  if (!facts.platformIsNt || facts.major <= 4) return std::nullopt;
  std::wstring name = L"Microsoft ";
  if (facts.major == 6) {
    if (facts.minor == 0) name += facts.workstation ? L"Windows Vista " : L"Windows Server 2008 ";
    if (facts.minor == 1) name += facts.workstation ? L"Windows 7 " : L"Windows Server 2008 R2 ";
    name += EditionName(facts.productType);
  } else if (facts.major == 5 && facts.minor == 2) {
    name += ProductName2003(facts);
    if (!facts.workstation) name += ServerEdition2003(facts);
  } else if (facts.major == 5 && facts.minor == 1) {
    name += L"Windows XP ";
    name += (facts.suiteMask & kSuitePersonal) != 0 ? L"Home Edition" : L"Professional";
  } else if (facts.major == 5 && facts.minor == 0) {
    name += L"Windows 2000 ";
    if (facts.workstation) {
      name += L"Professional";
    } else if ((facts.suiteMask & kSuiteDatacenter) != 0) {
      name += L"Datacenter Server";
    } else if ((facts.suiteMask & kSuiteEnterprise) != 0) {
      name += L"Advanced Server";
    } else {
      name += L"Server";
    }
  }
  if (!facts.servicePack.empty()) name += L" " + facts.servicePack;
  char build[80];
  snprintf(build, sizeof build, " (build %u)", static_cast<unsigned>(facts.build));
  name += Widen(build);
  if (facts.major >= 6) {
    if (facts.architecture == ProcessorArchitecture::X64) name += L", 64-bit";
    if (facts.architecture == ProcessorArchitecture::X86) name += L", 32-bit";
  }
  if (name.size() > kMaxOsDisplayNameLength) name.resize(kMaxOsDisplayNameLength);
  return name;
}

std::wstring MemoryText(uint64_t bytes) {
  float amount = static_cast<float>(bytes);
  char text[64];
  if (amount < 1000000000.0f) {
    snprintf(text, sizeof text, "%.0fMB", static_cast<double>(amount / 1048576.0f));
  } else {
    snprintf(text, sizeof text, "%.1fGB", static_cast<double>(amount / 1073741824.0f));
  }
  return Widen(text);
}

std::wstring AdapterIdText(const std::vector<NetworkAdapter>& adapters) {
  std::wstring id;
  for (const auto& adapter : adapters) {
    if (adapter.type != kEthernetAdapter) continue;
    char text[16];
    snprintf(text, sizeof text, "%.2x%.2x%.2x%.2x%.2x%.2x", adapter.address[0], adapter.address[1], adapter.address[2],
             adapter.address[3], adapter.address[4], adapter.address[5]);
    id = Widen(text);
  }
  return id;
}

std::wstring ScreenSizeText(int32_t right, int32_t bottom) {
  char text[32];
  snprintf(text, sizeof text, "%dx%d", static_cast<int>(right), static_cast<int>(bottom));
  return Widen(text);
}

std::wstring ProcessorCountText(int64_t numberOfProcessors) {
  return numberOfProcessors > 0 ? DecimalText(numberOfProcessors) : kUnknownText;
}

std::wstring CoresPerProcessorText(int64_t numberOfProcessors, int64_t numberOfLogicalProcessors) {
  int64_t cores = numberOfProcessors > 0 ? numberOfLogicalProcessors / numberOfProcessors : numberOfLogicalProcessors;
  return cores > 0 ? DecimalText(cores) : kUnknownText;
}

std::wstring GraphicsMemoryText(uint32_t adapterRam) {
  return adapterRam > 0 ? DecimalText(adapterRam / 1024 / 1024) : kUnknownText;
}

std::wstring LastNonEmptyName(const std::vector<std::wstring>& names) {
  std::wstring last = kUnknownText;
  for (const auto& name : names) {
    if (!name.empty()) last = name;
  }
  return last;
}

#include "telemetry/windows_inventory_probe.h"

#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <functional>

#include "windows_common/iphlpapi_functions.h"

const wchar_t kUserIdKeyPath[] = L"Software\\Tessel Games\\Downloader";

namespace {

constexpr DWORD kAdapterBufferSize = 20736;
constexpr DWORD kMaxSubkeyName = 128;

// A string value that is REG_SZ or REG_EXPAND_SZ with complete, terminated data; none otherwise.
std::optional<std::wstring> readString(HKEY root, const wchar_t* keyPath, const wchar_t* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  DWORD type = 0;
  DWORD size = 0;
  std::optional<std::wstring> value;
  if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ) && size >= sizeof(wchar_t) && size % sizeof(wchar_t) == 0) {
    std::wstring data(size / sizeof(wchar_t), L'\0');
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size) == ERROR_SUCCESS &&
        size / sizeof(wchar_t) == data.size() && data.back() == L'\0') {
      data.pop_back();
      value = data;
    }
  }
  RegCloseKey(key);
  return value;
}

template <typename T>
void release(T*& object) {
  if (object != nullptr) object->Release();
  object = nullptr;
}

// Runs a WQL query and hands every object to visit; false when any step fails.
bool forEachObject(IWbemServices* services, const wchar_t* query, const std::function<bool(IWbemClassObject*)>& visit) {
  BSTR language = SysAllocString(L"WQL");
  BSTR text = SysAllocString(query);
  IEnumWbemClassObject* objects = nullptr;
  HRESULT result = services->ExecQuery(language, text, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                                       &objects);
  SysFreeString(language);
  SysFreeString(text);
  if (FAILED(result)) return false;
  bool ok = true;
  for (;;) {
    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    if (FAILED(objects->Next(WBEM_INFINITE, 1, &object, &returned)) || returned == 0) break;
    ok = visit(object);
    release(object);
    if (!ok) break;
  }
  release(objects);
  return ok;
}

// A property read as a signed 32-bit number (0 when absent or null).
int64_t integerOf(IWbemClassObject* object, const wchar_t* name) {
  VARIANT value;
  VariantInit(&value);
  int64_t number = 0;
  if (SUCCEEDED(object->Get(name, 0, &value, nullptr, nullptr)) &&
      SUCCEEDED(VariantChangeType(&value, &value, 0, VT_I4))) {
    number = value.lVal;
  }
  VariantClear(&value);
  return number;
}

std::wstring textOf(IWbemClassObject* object, const wchar_t* name) {
  VARIANT value;
  VariantInit(&value);
  std::wstring text;
  if (SUCCEEDED(object->Get(name, 0, &value, nullptr, nullptr)) && value.vt == VT_BSTR && value.bstrVal != nullptr) {
    text.assign(value.bstrVal, SysStringLen(value.bstrVal));
  }
  VariantClear(&value);
  return text;
}

ProcessorArchitecture architectureOf(WORD architecture) {
  switch (architecture) {
    case PROCESSOR_ARCHITECTURE_INTEL: return ProcessorArchitecture::X86;
    case PROCESSOR_ARCHITECTURE_AMD64: return ProcessorArchitecture::X64;
    case PROCESSOR_ARCHITECTURE_IA64: return ProcessorArchitecture::Itanium;
    default: return ProcessorArchitecture::Other;
  }
}

}  // namespace

std::optional<std::wstring> WindowsInventoryProbe::ReadStoredUserId() {
  return readString(HKEY_CURRENT_USER, kUserIdKeyPath, L"UserId");
}

void WindowsInventoryProbe::StoreUserId(const std::wstring& userId) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kUserIdKeyPath, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExW(key, L"UserId", 0, REG_SZ, reinterpret_cast<const BYTE*>(userId.c_str()),
                 static_cast<DWORD>((userId.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

std::optional<std::vector<NetworkAdapter>> WindowsInventoryProbe::NetworkAdapters() {
  std::vector<unsigned char> buffer(kAdapterBufferSize);
  ULONG size = kAdapterBufferSize;
  IP_ADAPTER_INFO* list = reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data());
  const wincommon::IpHelperFunctions* ipHelper = wincommon::IpHelper();
  if (ipHelper == nullptr || ipHelper->GetAdaptersInfo(list, &size) != ERROR_SUCCESS) return std::nullopt;
  std::vector<NetworkAdapter> adapters;
  for (IP_ADAPTER_INFO* adapter = list; adapter != nullptr; adapter = adapter->Next) {
    NetworkAdapter entry;
    entry.type = adapter->Type;
    for (UINT i = 0; i < adapter->AddressLength && i < sizeof entry.address; ++i) entry.address[i] = adapter->Address[i];
    adapters.push_back(entry);
  }
  return adapters;
}

std::optional<OsVersionFacts> WindowsInventoryProbe::OsVersion() {
  OSVERSIONINFOEXW version{};
  version.dwOSVersionInfoSize = sizeof version;
  // The version information the system chooses to report to this program.
  if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version))) return std::nullopt;
  SYSTEM_INFO system{};
  using NativeSystemInfo = void(WINAPI*)(SYSTEM_INFO*);
  auto native = reinterpret_cast<NativeSystemInfo>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetNativeSystemInfo")));
  if (native != nullptr) {
    native(&system);
  } else {
    GetSystemInfo(&system);
  }
  OsVersionFacts facts;
  facts.platformIsNt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  facts.major = version.dwMajorVersion;
  facts.minor = version.dwMinorVersion;
  facts.build = version.dwBuildNumber;
  facts.workstation = version.wProductType == VER_NT_WORKSTATION;
  facts.suiteMask = version.wSuiteMask;
  facts.servicePack = version.szCSDVersion;
  facts.architecture = architectureOf(system.wProcessorArchitecture);
  facts.serverR2 = GetSystemMetrics(SM_SERVERR2) != 0;
  if (version.dwMajorVersion == 6) {
    using ProductInfo = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);
    auto productInfo = reinterpret_cast<ProductInfo>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetProductInfo")));
    DWORD type = 0;
    if (productInfo != nullptr && productInfo(6, 0, 0, 0, &type)) facts.productType = type;
  }
  return facts;
}

std::optional<std::wstring> WindowsInventoryProbe::InternetExplorerVersion() {
  return readString(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Internet Explorer", L"Version");
}

void WindowsInventoryProbe::DesktopSize(int32_t* right, int32_t* bottom) {
  RECT desktop{};
  GetWindowRect(GetDesktopWindow(), &desktop);
  *right = desktop.right;
  *bottom = desktop.bottom;
}

std::optional<std::wstring> WindowsInventoryProbe::LanguageName() {
  wchar_t name[9] = L"";
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, name, 9) == 0) return std::nullopt;
  return std::wstring(name);
}

std::optional<std::wstring> WindowsInventoryProbe::FlashPlayerVersion() {
  return readString(HKEY_LOCAL_MACHINE, L"Software\\Macromedia\\FlashPlayer", L"CurrentVersion");
}

std::vector<std::wstring> WindowsInventoryProbe::DotNetSubkeys() {
  std::vector<std::wstring> names;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\NET Framework Setup\\NDP", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return names;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t name[kMaxSubkeyName + 1] = L"";
    DWORD length = kMaxSubkeyName + 1;
    if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.emplace_back(name, length);
  }
  RegCloseKey(key);
  return names;
}

uint64_t WindowsInventoryProbe::PhysicalMemoryBytes() {
  MEMORYSTATUSEX status{};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return 0;
  return status.ullTotalPhys;
}

uint32_t WindowsInventoryProbe::ProcessorCount() {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  return system.dwNumberOfProcessors;
}

std::optional<uint32_t> WindowsInventoryProbe::ProcessorMegahertz() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Hardware\\Description\\System\\CentralProcessor\\0", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  LONG result = RegQueryValueExW(key, L"~MHz", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return std::nullopt;
  return value;
}

std::optional<WmiInventory> WindowsInventoryProbe::QueryWmi() {
  HRESULT started = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(started) && started != RPC_E_CHANGED_MODE) return std::nullopt;
  std::optional<WmiInventory> inventory;
  IWbemLocator* locator = nullptr;
  IWbemServices* services = nullptr;
  BSTR space = SysAllocString(L"ROOT\\CIMV2");
  if (SUCCEEDED(CoCreateInstance(__uuidof(WbemLocator), nullptr, CLSCTX_INPROC_SERVER, __uuidof(IWbemLocator),
                                 reinterpret_cast<void**>(&locator))) &&
      SUCCEEDED(locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services)) &&
      SUCCEEDED(CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                  RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE))) {
    WmiInventory found;
    bool ok = forEachObject(services, L"SELECT Name, AdapterRAM FROM Win32_VideoController",
                            [&](IWbemClassObject* object) {
                              WmiVideoController controller;
                              controller.name = textOf(object, L"Name");
                              controller.adapterRam = static_cast<uint32_t>(integerOf(object, L"AdapterRAM"));
                              found.videoControllers.push_back(controller);
                              return true;
                            }) &&
              forEachObject(services,
                            L"SELECT NumberOfProcessors, NumberOfLogicalProcessors FROM Win32_ComputerSystem",
                            [&](IWbemClassObject* object) {
                              WmiComputerSystem system;
                              system.numberOfProcessors = integerOf(object, L"NumberOfProcessors");
                              system.numberOfLogicalProcessors = integerOf(object, L"NumberOfLogicalProcessors");
                              found.computerSystems.push_back(system);
                              return true;
                            });
    if (ok) inventory = found;
  }
  SysFreeString(space);
  release(services);
  release(locator);
  if (SUCCEEDED(started)) CoUninitialize();
  return inventory;
}

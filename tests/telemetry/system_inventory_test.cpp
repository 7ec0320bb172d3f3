// The system inventory: its texts from platform facts (operating-system names, memory, adapter
// id, WMI values) and its cache of values over a fake probe.
#include <gtest/gtest.h>

#include <initializer_list>
#include <thread>

#include "telemetry/inventory_texts.h"
#include "telemetry/system_info.h"
#include "tests/telemetry/ascii_text.h"

namespace {

using telemetrytest::Narrow;

OsVersionFacts Facts(uint32_t major, uint32_t minor, bool workstation, uint32_t suite = 0,
                     ProcessorArchitecture architecture = ProcessorArchitecture::X86, uint32_t productType = 0,
                     std::wstring servicePack = L"", bool serverR2 = false) {
  OsVersionFacts facts;
  facts.major = major;
  facts.minor = minor;
  facts.build = major == 6 ? 7601 : major == 5 ? 2600 : 19045;
  facts.workstation = workstation;
  facts.suiteMask = suite;
  facts.architecture = architecture;
  facts.productType = productType;
  facts.servicePack = std::move(servicePack);
  facts.serverR2 = serverR2;
  return facts;
}

TEST(OsDisplayName, NamesEachFamilyAndEdition) {
  using Arch = ProcessorArchitecture;
  struct Case {
    OsVersionFacts facts;
    const wchar_t* name;
  } cases[] = {
      {Facts(6, 1, true, 0, Arch::X64, 48, L"Service Pack 1"),
       L"Microsoft Windows 7 Professional Service Pack 1 (build 7601), 64-bit"},
      {Facts(6, 1, true, 0, Arch::X86, 3), L"Microsoft Windows 7 Home Premium Edition (build 7601), 32-bit"},
      {Facts(6, 1, false, 0, Arch::X64, 7), L"Microsoft Windows Server 2008 R2 Standard Edition (build 7601), 64-bit"},
      {Facts(6, 0, true, 0, Arch::X86, 1), L"Microsoft Windows Vista Ultimate Edition (build 7601), 32-bit"},
      {Facts(6, 0, false, 0, Arch::Itanium, 15),
       L"Microsoft Windows Server 2008 Enterprise Edition for Itanium-based Systems (build 7601)"},
      {Facts(6, 2, true, 0, Arch::X64, 48), L"Microsoft Professional (build 7601), 64-bit"},
      {Facts(6, 1, true, 0, Arch::X64, 99), L"Microsoft Windows 7  (build 7601), 64-bit"},
      {Facts(10, 0, true, 0, Arch::X64, 48), L"Microsoft  (build 19045), 64-bit"},
      {Facts(5, 1, true, 0x200, Arch::X86), L"Microsoft Windows XP Home Edition (build 2600)"},
      {Facts(5, 1, true, 0, Arch::X86, 0, L"Service Pack 3"), L"Microsoft Windows XP Professional Service Pack 3 (build 2600)"},
      {Facts(5, 2, true, 0, Arch::X64), L"Microsoft Windows XP Professional x64 Edition (build 2600)"},
      {Facts(5, 2, false, 0, Arch::X86, 0, L"", true), L"Microsoft Windows Server 2003 R2, Standard Edition (build 2600)"},
      {Facts(5, 2, false, 0x2000, Arch::X86), L"Microsoft Windows Storage Server 2003Standard Edition (build 2600)"},
      {Facts(5, 2, false, 0x8000, Arch::X86), L"Microsoft Windows Home ServerStandard Edition (build 2600)"},
      {Facts(5, 2, false, 0x80, Arch::Itanium),
       L"Microsoft Windows Server 2003, Datacenter Edition for Itanium-based Systems (build 2600)"},
      {Facts(5, 2, false, 0x2, Arch::Itanium),
       L"Microsoft Windows Server 2003, Enterprise Edition for Itanium-based Systems (build 2600)"},
      {Facts(5, 2, false, 0, Arch::Itanium), L"Microsoft Windows Server 2003,  (build 2600)"},
      {Facts(5, 2, false, 0x80, Arch::X64), L"Microsoft Windows Server 2003, Datacenter x64 Edition (build 2600)"},
      {Facts(5, 2, false, 0x2, Arch::X64), L"Microsoft Windows Server 2003, Enterprise x64 Edition (build 2600)"},
      {Facts(5, 2, false, 0, Arch::X64), L"Microsoft Windows Server 2003, Standard x64 Edition (build 2600)"},
      {Facts(5, 2, false, 0x4082, Arch::X86), L"Microsoft Windows Server 2003, Compute Cluster Edition (build 2600)"},
      {Facts(5, 2, false, 0x82, Arch::X86), L"Microsoft Windows Server 2003, Datacenter Edition (build 2600)"},
      {Facts(5, 2, false, 0x402, Arch::X86), L"Microsoft Windows Server 2003, Enterprise Edition (build 2600)"},
      {Facts(5, 2, false, 0x400, Arch::X86), L"Microsoft Windows Server 2003, Web Edition (build 2600)"},
      {Facts(5, 0, true, 0x80, Arch::X86), L"Microsoft Windows 2000 Professional (build 2600)"},
      {Facts(5, 0, false, 0x82, Arch::X86), L"Microsoft Windows 2000 Datacenter Server (build 2600)"},
      {Facts(5, 0, false, 0x2, Arch::X86), L"Microsoft Windows 2000 Advanced Server (build 2600)"},
      {Facts(5, 0, false, 0, Arch::X86), L"Microsoft Windows 2000 Server (build 2600)"},
  };
  for (const auto& c : cases) {
    std::optional<std::wstring> name = OsDisplayName(c.facts);
    ASSERT_TRUE(name.has_value()) << Narrow(c.name);
    EXPECT_EQ(*name, c.name);
  }
}

TEST(OsDisplayName, FailsBeforeVersion5AndOffNtAndCutsLongNames) {
  EXPECT_FALSE(OsDisplayName(Facts(4, 0, true)).has_value());
  OsVersionFacts notNt = Facts(5, 1, true);
  notNt.platformIsNt = false;
  EXPECT_FALSE(OsDisplayName(notNt).has_value());
  std::optional<std::wstring> name = OsDisplayName(Facts(5, 1, true, 0, ProcessorArchitecture::X86, 0, std::wstring(400, L'x')));
  ASSERT_TRUE(name);
  EXPECT_EQ(name->size(), kMaxOsDisplayNameLength);
  EXPECT_EQ(name->substr(0, 37), L"Microsoft Windows XP Professional xxx");
}

TEST(OsDisplayName, EditionTable) {
  struct Case {
    uint32_t type;
    const wchar_t* edition;
  } cases[] = {{1, L"Ultimate Edition"},
               {2, L"Home Basic Edition"},
               {3, L"Home Premium Edition"},
               {4, L"Enterprise Edition"},
               {5, L""},
               {6, L"Business Edition"},
               {7, L"Standard Edition"},
               {8, L"Datacenter Edition"},
               {9, L"Small Business Server"},
               {10, L"Enterprise Edition"},
               {11, L"Starter Edition"},
               {12, L"Datacenter Edition (core installation)"},
               {13, L"Standard Edition (core installation)"},
               {14, L"Enterprise Edition (core installation)"},
               {15, L"Enterprise Edition for Itanium-based Systems"},
               {16, L""},
               {17, L"Web Server Edition"},
               {18, L"Cluster Server Edition"},
               {25, L"Small Business Server Premium Edition"},
               {48, L"Professional"},
               {0, L""},
               {0xabcdef, L""}};
  for (const auto& c : cases) EXPECT_EQ(EditionName(c.type), c.edition) << c.type;
}

TEST(InventoryTexts, Memory) {
  struct Case {
    uint64_t bytes;
    const wchar_t* text;
  } cases[] = {{536870912, L"512MB"},        {2147483648ull, L"2.0GB"},   {0, L"0MB"},
               {999999000, L"954MB"},        {999999999, L"0.9GB"},  // rounds up to 10^9 in single precision
               {1000000000, L"0.9GB"},       {1610612736, L"1.5GB"},
               {17179869184ull, L"16.0GB"},  {4294967296ull * 1024, L"4096.0GB"}};
  for (const auto& c : cases) EXPECT_EQ(MemoryText(c.bytes), c.text) << c.bytes;
}

TEST(InventoryTexts, AdapterIdIsTheLastEthernetAddress) {
  NetworkAdapter wifi{71, {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0, 0}};
  NetworkAdapter first{6, {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e, 0xff, 0xff}};
  NetworkAdapter second{6, {0xa0, 0xb1, 0xc2, 0xd3, 0xe4, 0xf5, 0, 0}};
  EXPECT_EQ(AdapterIdText({}), L"");
  EXPECT_EQ(AdapterIdText({wifi}), L"");
  EXPECT_EQ(AdapterIdText({first, wifi}), L"001a2b3c4d5e");
  EXPECT_EQ(AdapterIdText({first, second, wifi}), L"a0b1c2d3e4f5");
}

TEST(InventoryTexts, WmiAndScreenValues) {
  EXPECT_EQ(ProcessorCountText(2), L"2");
  EXPECT_EQ(ProcessorCountText(0), L"unknown");
  EXPECT_EQ(ProcessorCountText(-1), L"unknown");
  struct Cores {
    int64_t processors;
    int64_t logical;
    const wchar_t* text;
  } cores[] = {{2, 8, L"4"}, {1, 4, L"4"}, {3, 8, L"2"}, {0, 8, L"8"}, {0, 0, L"unknown"}, {4, 2, L"unknown"}};
  for (const auto& c : cores) EXPECT_EQ(CoresPerProcessorText(c.processors, c.logical), c.text) << c.processors << "/" << c.logical;
  EXPECT_EQ(GraphicsMemoryText(268435456), L"256");
  EXPECT_EQ(GraphicsMemoryText(0), L"unknown");
  EXPECT_EQ(GraphicsMemoryText(1048575), L"0");
  EXPECT_EQ(GraphicsMemoryText(0xC0000000u), L"3072");
  EXPECT_EQ(GraphicsMemoryText(0xFFFFFFFFu), L"4095");
  EXPECT_EQ(ScreenSizeText(1920, 1080), L"1920x1080");
  EXPECT_EQ(LastNonEmptyName({L"v2.0.50727", L"v3.5", L"", L"v4"}), L"v4");
  EXPECT_EQ(LastNonEmptyName({L"v4", L""}), L"v4");
  EXPECT_EQ(LastNonEmptyName({}), L"unknown");
}

class FakeProbe : public InventoryProbe {
 public:
  std::optional<std::wstring> ReadStoredUserId() override {
    ++userIdReads;
    if (!userIdStored) return std::nullopt;
    return storedUserId;
  }
  void StoreUserId(const std::wstring& userId) override {
    ++userIdWrites;
    userIdStored = true;
    storedUserId = userId;
  }
  std::optional<std::vector<NetworkAdapter>> NetworkAdapters() override {
    ++adapterQueries;
    return adapters;
  }
  std::optional<OsVersionFacts> OsVersion() override { return osVersion; }
  std::optional<std::wstring> InternetExplorerVersion() override { return internetExplorer; }
  void DesktopSize(int32_t* right, int32_t* bottom) override {
    *right = 1280;
    *bottom = 1024;
  }
  std::optional<std::wstring> LanguageName() override { return language; }
  std::optional<std::wstring> FlashPlayerVersion() override { return flash; }
  std::vector<std::wstring> DotNetSubkeys() override { return {L"v2.0.50727", L"v4"}; }
  uint64_t PhysicalMemoryBytes() override {
    ++memoryQueries;
    return 2147483648ull;
  }
  uint32_t ProcessorCount() override { return 4; }
  std::optional<uint32_t> ProcessorMegahertz() override { return megahertz; }
  std::optional<WmiInventory> QueryWmi() override { return wmi; }

  bool userIdStored = false;
  std::wstring storedUserId;
  std::optional<std::vector<NetworkAdapter>> adapters = std::vector<NetworkAdapter>{};
  std::optional<OsVersionFacts> osVersion;
  std::optional<std::wstring> internetExplorer;
  std::optional<std::wstring> language;
  std::optional<std::wstring> flash;
  std::optional<uint32_t> megahertz;
  std::optional<WmiInventory> wmi;
  int userIdReads = 0;
  int userIdWrites = 0;
  int adapterQueries = 0;
  int memoryQueries = 0;
};

// One of the inventory's texts, by its getter, and what it must read.
struct Reading {
  std::wstring (SystemInfo::*text)();
  const wchar_t* expected;
};

class SystemInfoTest : public ::testing::Test {
 protected:
  void ExpectReadings(std::initializer_list<Reading> readings) {
    int index = 0;
    for (const Reading& reading : readings) {
      EXPECT_EQ((info_.*reading.text)(), reading.expected) << "reading " << index;
      ++index;
    }
  }
  void StoreUserId(const std::wstring& userId) {
    probe_.userIdStored = true;
    probe_.storedUserId = userId;
  }

  FakeProbe probe_;
  SystemInfo info_{probe_};  // reads nothing from the probe until asked
};

TEST_F(SystemInfoTest, AStoredUserIdIsUsedAsItIs) {
  StoreUserId(L"abc");
  EXPECT_EQ(info_.UserId(), L"abc");
  EXPECT_EQ(info_.UserId(), L"abc");
  EXPECT_EQ(probe_.userIdReads, 1);
  EXPECT_EQ(probe_.adapterQueries, 0);
  EXPECT_EQ(probe_.userIdWrites, 0);
}

TEST_F(SystemInfoTest, WithoutAStoredIdTheAdapterIdIsTakenAndStored) {
  probe_.adapters = std::vector<NetworkAdapter>{{6, {1, 2, 3, 4, 5, 6, 0, 0}}};
  EXPECT_EQ(info_.UserId(), L"010203040506");
  EXPECT_EQ(probe_.storedUserId, L"010203040506");
  EXPECT_EQ(info_.UserId(), L"010203040506");
  EXPECT_EQ(probe_.adapterQueries, 1);
}

TEST_F(SystemInfoTest, AnEmptyUserIdIsStoredAndLookedForAgainEachTime) {
  probe_.adapters.reset();  // the adapter query fails
  EXPECT_EQ(info_.UserId(), L"");
  EXPECT_TRUE(probe_.userIdStored);
  EXPECT_EQ(probe_.storedUserId, L"");
  EXPECT_EQ(info_.UserId(), L"");
  EXPECT_EQ(probe_.userIdReads, 2);
  EXPECT_EQ(probe_.userIdWrites, 2);
  // An adapter that appears later is picked up.
  probe_.adapters = std::vector<NetworkAdapter>{{6, {0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff, 0, 0}}};
  EXPECT_EQ(info_.UserId(), L"aabbccddeeff");
}

TEST_F(SystemInfoTest, FallbacksWhenTheQueriesGiveNothing) {
  ExpectReadings({{&SystemInfo::OperatingSystem, L"unknown"},
                  {&SystemInfo::InternetExplorerVersion, L"unknown"},
                  {&SystemInfo::Language, L""},
                  {&SystemInfo::FlashVersion, L"unknown"},
                  {&SystemInfo::ProcessorClock, L"unknown"},
                  {&SystemInfo::CoresPerProcessor, L"unknown"},
                  {&SystemInfo::GraphicsCard, L"unknown"},
                  {&SystemInfo::GraphicsMemory, L"unknown"},
                  {&SystemInfo::ClientGuid, L"unknown"}});
  probe_.osVersion = Facts(4, 0, true);
  EXPECT_EQ(info_.OperatingSystem(), L"unknown");
}

TEST_F(SystemInfoTest, ValuesAreComputedOnceAndKept) {
  probe_.osVersion = Facts(5, 1, true, 0x200);
  probe_.internetExplorer = L"8.0.7601.17514";
  probe_.language = L"en";
  probe_.flash = L"11,2,202,235";
  probe_.megahertz = 2400;
  ExpectReadings({{&SystemInfo::OperatingSystem, L"Microsoft Windows XP Home Edition (build 2600)"},
                  {&SystemInfo::InternetExplorerVersion, L"8.0.7601.17514"},
                  {&SystemInfo::ScreenSize, L"1280x1024"},
                  {&SystemInfo::Language, L"en"},
                  {&SystemInfo::FlashVersion, L"11,2,202,235"},
                  {&SystemInfo::DotNetVersion, L"v4"},
                  {&SystemInfo::Memory, L"2.0GB"},
                  {&SystemInfo::ProcessorCount, L"4"},
                  {&SystemInfo::ProcessorClock, L"2400"}});
  probe_.osVersion.reset();
  probe_.internetExplorer.reset();
  ExpectReadings({{&SystemInfo::OperatingSystem, L"Microsoft Windows XP Home Edition (build 2600)"},
                  {&SystemInfo::InternetExplorerVersion, L"8.0.7601.17514"},
                  {&SystemInfo::Memory, L"2.0GB"}});
  EXPECT_EQ(probe_.memoryQueries, 1);
}

TEST_F(SystemInfoTest, WmiValuesFromTheLastObjectsOrUnknownWhenWmiFails) {
  WmiInventory wmi;
  wmi.videoControllers = {{L"Card A", 268435456}, {L"Card B", 0}};
  wmi.computerSystems = {{2, 8}};
  probe_.wmi = wmi;
  EXPECT_EQ(info_.ProcessorCount(), L"4");  // from the system information, before WMI
  info_.GatherWmiInventory();
  ExpectReadings({{&SystemInfo::GraphicsCard, L"Card B"},
                  {&SystemInfo::GraphicsMemory, L"unknown"},
                  {&SystemInfo::ProcessorCount, L"2"},
                  {&SystemInfo::CoresPerProcessor, L"4"}});

  probe_.wmi.reset();
  info_.GatherWmiInventory();
  ExpectReadings({{&SystemInfo::GraphicsCard, L"unknown"},
                  {&SystemInfo::GraphicsMemory, L"unknown"},
                  {&SystemInfo::ProcessorCount, L"unknown"},
                  {&SystemInfo::CoresPerProcessor, L"unknown"}});
}

TEST_F(SystemInfoTest, ClientGuidIsStoredAndReadFromAnyThread) {
  StoreUserId(L"abc");
  std::thread writer([this] {
    for (int i = 0; i < 200; ++i) info_.SetClientGuid(i % 2 == 0 ? L"{11111111-2222}" : L"{33333333-4444}");
  });
  for (int i = 0; i < 200; ++i) {
    std::wstring guid = info_.ClientGuid();
    EXPECT_TRUE(guid == L"unknown" || guid == L"{11111111-2222}" || guid == L"{33333333-4444}") << Narrow(guid);
    EXPECT_EQ(info_.UserId(), L"abc");
  }
  writer.join();
  info_.SetClientGuid(L"");
  EXPECT_EQ(info_.ClientGuid(), L"unknown");
}

}  // namespace

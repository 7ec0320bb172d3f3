// The system inventory on the real Win32 calls under Wine: the user id kept in the registry, the
// texts the inventory makes of what Wine reports, and WMI.
#include "telemetry/windows_inventory_probe.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <regex>
#include <string>

#include "telemetry/system_info.h"

namespace {

std::string narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

class WindowsInventoryTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserIdKeyPath, L"UserId"); }
  void TearDown() override { RegDeleteKeyValueW(HKEY_CURRENT_USER, kUserIdKeyPath, L"UserId"); }
  WindowsInventoryProbe probe_;
};

TEST_F(WindowsInventoryTest, TheUserIdComesFromTheAdaptersOnceAndIsKeptInTheRegistry) {
  EXPECT_FALSE(probe_.ReadStoredUserId().has_value());
  SystemInfo first(probe_);
  std::wstring id = first.UserId();
  EXPECT_TRUE(std::regex_match(narrow(id), std::regex("([0-9a-f]{12})?"))) << narrow(id);
  ASSERT_TRUE(probe_.ReadStoredUserId().has_value());
  EXPECT_EQ(*probe_.ReadStoredUserId(), id);

  probe_.StoreUserId(L"kept-from-an-earlier-run");
  SystemInfo later(probe_);
  EXPECT_EQ(later.UserId(), L"kept-from-an-earlier-run");
}

TEST_F(WindowsInventoryTest, DescribesTheMachineAsWineReportsIt) {
  SystemInfo system(probe_);
  EXPECT_EQ(narrow(system.OperatingSystem()).rfind("Microsoft Windows", 0), 0u) << narrow(system.OperatingSystem());
  EXPECT_NE(system.OperatingSystem().find(L"(build "), std::wstring::npos);
  EXPECT_TRUE(std::regex_match(narrow(system.ScreenSize()), std::regex("[0-9]+x[0-9]+"))) << narrow(system.ScreenSize());
  EXPECT_TRUE(std::regex_match(narrow(system.Memory()), std::regex("[0-9]+MB|[0-9]+\\.[0-9]GB")))
      << narrow(system.Memory());
  EXPECT_TRUE(std::regex_match(narrow(system.ProcessorCount()), std::regex("[1-9][0-9]*")));
  EXPECT_FALSE(system.Language().empty());
  EXPECT_EQ(system.ClientGuid(), L"unknown");
  system.SetClientGuid(L"0123456789abcdef0123456789abcdef");
  EXPECT_EQ(system.ClientGuid(), L"0123456789abcdef0123456789abcdef");
}

TEST_F(WindowsInventoryTest, WmiGivesEitherAllFourValuesOrNone) {
  SystemInfo system(probe_);
  EXPECT_EQ(system.GraphicsCard(), L"unknown");
  system.GatherWmiInventory();
  std::string processors = narrow(system.ProcessorCount());
  std::string cores = narrow(system.CoresPerProcessor());
  std::string card = narrow(system.GraphicsCard());
  std::string memory = narrow(system.GraphicsMemory());
  std::cout << "WMI under Wine: card '" << card << "', memory '" << memory << "', processors '" << processors
            << "', cores '" << cores << "'\n";
  std::optional<WmiInventory> wmi = probe_.QueryWmi();
  if (!wmi) {
    EXPECT_EQ(card, "unknown");
    EXPECT_EQ(cores, "unknown");
    return;
  }
  ASSERT_FALSE(wmi->computerSystems.empty());
  EXPECT_EQ(processors, std::to_string(wmi->computerSystems.back().numberOfProcessors));
  EXPECT_TRUE(std::regex_match(cores, std::regex("[1-9][0-9]*"))) << cores;
  if (!wmi->videoControllers.empty()) {
    EXPECT_EQ(card, narrow(wmi->videoControllers.back().name));
  }
}

}  // namespace

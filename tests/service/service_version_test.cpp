// The service's build version as text, its order, its place in a version resource, and what the
// installer makes of the version installed and the one it carries.
#include "service_version/service_version.h"

#include <gtest/gtest.h>
#include <string.h>

#include <vector>

#include "service/install_plan.h"

namespace {

ServiceVersion version(const char* text) {
  ServiceVersion read{};
  EXPECT_TRUE(ParseServiceVersion(text, &read)) << text;
  return read;
}

TEST(ServiceVersionTest, ReadsFourNumbersAndRefusesEveryOtherForm) {
  ServiceVersion read{};
  ASSERT_TRUE(ParseServiceVersion("65535.0.10.9", &read));
  EXPECT_EQ(read.parts[0], 65535);
  EXPECT_EQ(read.parts[1], 0);
  EXPECT_EQ(read.parts[2], 10);
  EXPECT_EQ(read.parts[3], 9);
  char text[24];
  FormatServiceVersion(read, text, sizeof text);
  EXPECT_STREQ(text, "65535.0.10.9");

  const char* refused[] = {"",         "1.2.3",     "1.2.3.4.5", "1.2.3.",     ".1.2.3",    "1..2.3",
                           "01.2.3.4", "1.2.3.00",  "1.2.3.65536", "99999999999.0.0.0", " 1.2.3.4", "1.2.3.4 ",
                           "+1.2.3.4", "-1.2.3.4",  "1.2.3.4a",  "1,2,3,4",    "1.2.3.4\n", "v1.2.3.4"};
  for (const char* form : refused) {
    ServiceVersion untouched{{7, 7, 7, 7}};
    EXPECT_FALSE(ParseServiceVersion(form, &untouched)) << '"' << form << '"';
    EXPECT_EQ(untouched.parts[0], 7) << form;
  }
  EXPECT_FALSE(ParseServiceVersion(nullptr, &read));
}

TEST(ServiceVersionTest, OrdersByNumberFromTheFirstPart) {
  EXPECT_GT(CompareServiceVersions(version("1.10.0.0"), version("1.9.0.0")), 0);  // not as text
  EXPECT_GT(CompareServiceVersions(version("2.0.0.0"), version("1.65535.65535.65535")), 0);
  EXPECT_LT(CompareServiceVersions(version("1.9.0.0"), version("1.9.0.1")), 0);
  EXPECT_EQ(CompareServiceVersions(version("1.9.0.0"), version("1.9.0.0")), 0);

  const ServiceVersion built = version("1.9.0.0");
  EXPECT_TRUE(ServiceIsOlder("1.8.0.5", built));
  EXPECT_FALSE(ServiceIsOlder("1.9.0.0", built));
  EXPECT_FALSE(ServiceIsOlder("1.10.0.0", built));
  // A service that names no readable version predates versioned builds.
  EXPECT_TRUE(ServiceIsOlder(nullptr, built));
  EXPECT_TRUE(ServiceIsOlder("", built));
  EXPECT_TRUE(ServiceIsOlder("9.9.9", built));
}

// The bytes of an RT_VERSION resource: its header and key, then the fixed part at a 4-byte boundary.
std::vector<unsigned char> versionResource(uint32_t high, uint32_t low, size_t fixedAt) {
  std::vector<unsigned char> bytes(fixedAt + 52 + 16, 0);
  const char16_t key[] = u"VS_VERSION_INFO";
  memcpy(bytes.data() + 6, key, sizeof key);
  const uint32_t fixed[] = {0xFEEF04BDu, 0x00010000u, high, low};
  memcpy(bytes.data() + fixedAt, fixed, sizeof fixed);
  return bytes;
}

TEST(ServiceVersionTest, FindsTheFileVersionInAVersionResource) {
  ServiceVersion found{};
  std::vector<unsigned char> resource = versionResource(0x00010009u, 0x0000002Au, 40);
  ASSERT_TRUE(VersionOfVersionResource(resource.data(), resource.size(), &found));
  char text[24];
  FormatServiceVersion(found, text, sizeof text);
  EXPECT_STREQ(text, "1.9.0.42");
  // Cut before the fixed part ends, or without one: no version.
  EXPECT_FALSE(VersionOfVersionResource(resource.data(), 40 + 51, &found));
  std::vector<unsigned char> none(200, 0);
  EXPECT_FALSE(VersionOfVersionResource(none.data(), none.size(), &found));
  EXPECT_FALSE(VersionOfVersionResource(nullptr, 100, &found));
}

TEST(InstallPlanTest, NeverPutsAnOlderServiceOverANewerOne) {
  using svc::ChooseInstall;
  using svc::InstallChoice;
  const std::optional<ServiceVersion> none;
  EXPECT_EQ(ChooseInstall(none, version("1.9.0.0")), InstallChoice::Replace);   // first install
  EXPECT_EQ(ChooseInstall(none, none), InstallChoice::Replace);
  EXPECT_EQ(ChooseInstall(version("1.8.0.5"), version("1.9.0.0")), InstallChoice::Replace);
  EXPECT_EQ(ChooseInstall(version("1.9.0.0"), version("1.9.0.0")), InstallChoice::Replace);  // repair
  EXPECT_EQ(ChooseInstall(version("1.10.0.0"), version("1.9.0.0")), InstallChoice::KeepNewer);
  EXPECT_EQ(ChooseInstall(version("1.9.0.0"), none), InstallChoice::KeepNewer);
}

}  // namespace

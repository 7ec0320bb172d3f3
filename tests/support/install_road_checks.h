// Checks of the install road shared by its native and its Wine tests.
#ifndef TESTS_SUPPORT_INSTALL_ROAD_CHECKS_H
#define TESTS_SUPPORT_INSTALL_ROAD_CHECKS_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace testsupport {

// 5, 10, 15, then 25 up to below 75 while the installer arrives, and 95 at the end.
inline void expectInstallProgress(const std::vector<int>& progress) {
  ASSERT_GE(progress.size(), 5u);
  EXPECT_EQ((std::vector<int>(progress.begin(), progress.begin() + 4)), (std::vector<int>{5, 10, 15, 25}));
  for (size_t i = 4; i + 1 < progress.size(); ++i) {
    EXPECT_GE(progress[i], progress[i - 1]);
    EXPECT_LT(progress[i], 75);
  }
  EXPECT_EQ(progress.back(), 95);
}

// The warning of the installer step, then the error of the exported function.
inline void expectInstallerStartErrorLog(const std::string& log) {
  size_t warning = log.find("[warn] Installer:_ak_install(");
  size_t error = log.find("[eror] Installer:ak_install(");
  ASSERT_NE(warning, std::string::npos) << log;
  ASSERT_NE(error, std::string::npos) << log;
  EXPECT_LT(warning, error);
  EXPECT_NE(log.find("Installer executed, but Client is not running"), std::string::npos);
  EXPECT_NE(log.find("Error in installing the client"), std::string::npos);
}

}  // namespace testsupport

#endif

#include "engine/core/platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tests/win/test_support.h"

namespace {

OSVERSIONINFOA Record(DWORD platform, DWORD minor) {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof(info));
  info.dwPlatformId = platform;
  info.dwMinorVersion = minor;
  return info;
}

TEST(Platform, Tests) {
  EXPECT_TRUE(qm::PlatformIsNt(Record(2, 0)));
  EXPECT_FALSE(qm::PlatformIsNt(Record(1, 10)));
  EXPECT_FALSE(qm::PlatformIsNt(Record(0, 0)));  // also what a failed query leaves
  EXPECT_FALSE(qm::PlatformIsNt(Record(3, 0)));
  EXPECT_FALSE(qm::PlatformMinorTest(Record(2, 0)));
  EXPECT_TRUE(qm::PlatformMinorTest(Record(2, 1)));
  EXPECT_TRUE(qm::PlatformMinorTest(Record(2, 2)));
}

TEST(Platform, QueryFillsAFreshBasicRecord) {
  OSVERSIONINFOA info = qm::PlatformQuery();
  EXPECT_EQ(info.dwOSVersionInfoSize, 148u);
  EXPECT_EQ(info.dwPlatformId, 2u);  // the test prefix is Windows 7
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_EQ(info.dwMinorVersion, 1u);
}

// Runs only as a child started by the test below, under the Windows version it was given.
TEST(PlatformChild, Report) {
  if (!std::getenv("QM_PLATFORM_CHILD")) GTEST_SKIP() << "child mode only";
  OSVERSIONINFOA info = qm::PlatformQuery();
  std::printf("REPORT platform=%lu minor=%lu nt=%d minortest=%d\n", info.dwPlatformId, info.dwMinorVersion,
              qm::PlatformIsNt(info) ? 1 : 0, qm::PlatformMinorTest(info) ? 1 : 0);
}

TEST(Platform, DecisionsPerWindowsVersion) {
  const std::pair<const char*, const char*> rows[] = {
      {"win98", "REPORT platform=1 minor=10 nt=0 minortest=1"},
      {"win2k", "REPORT platform=2 minor=0 nt=1 minortest=0"},
      {"winxp", "REPORT platform=2 minor=1 nt=1 minortest=1"},
      {"vista", "REPORT platform=2 minor=0 nt=1 minortest=0"},
      {"win7", "REPORT platform=2 minor=1 nt=1 minortest=1"},
  };
  ::SetEnvironmentVariableA("QM_PLATFORM_CHILD", "1");
  for (const auto& row : rows) {
    qmtest::ProcessResult r = qmtest::RunAsWindowsVersion(qmtest::BinFolder() + "\\platform_test.exe", row.first,
                                                          "--gtest_filter=PlatformChild.Report");
    EXPECT_EQ(r.exit_code, 0u) << row.first;
    EXPECT_NE(r.output.find(row.second), std::string::npos) << row.first << ":\n" << r.output;
  }
  ::SetEnvironmentVariableA("QM_PLATFORM_CHILD", nullptr);
}

}  // namespace

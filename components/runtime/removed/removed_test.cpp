// _REMOVED.exe on real files under Wine, as Windows itself would start it and as Windows 98 does.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>

#include "base/win/reg_key.h"
#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/tests/rt_test_support.h"

namespace {

using qm::RemovedResult;

constexpr char kRunOnceValue[] = "removed";
constexpr char kScratch[] = "removed";
constexpr DWORD kReleaseAfterMs = 1500;
constexpr DWORD kRunLimitMs = 60000;

std::string ListPath() { return qmtest::WindowsFolder() + "\\Temp\\_REMOVED.INI"; }
std::string LogPath() { return qmtest::WindowsFolder() + "\\Temp\\_REMOVED.log"; }
std::string Program() { return qmtest::BinFolder() + "\\_REMOVED.exe"; }

// GetParam(): "" runs the program as it is, else the Windows version Wine reports to it.
class RemovedTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    Clean();
    scratch_ = qmtest::MakeScratchFolder(kScratch);
    targets_ = scratch_ + "\\Program Files\\qmsrv";
    sources_ = scratch_ + "\\staging";
    ::CreateDirectoryA((scratch_ + "\\Program Files").c_str(), nullptr);
    ::CreateDirectoryA(targets_.c_str(), nullptr);
    ::CreateDirectoryA(sources_.c_str(), nullptr);
    program_ = GetParam().empty() ? Program() : qmtest::WindowsVersionCopy(Program(), GetParam());
  }
  void TearDown() override {
    Clean();
    qmtest::DeleteTree(scratch_);
    if (program_ != Program()) ::DeleteFileA(program_.c_str());
  }
  static void Clean() {
    ::DeleteFileA(ListPath().c_str());
    ::DeleteFileA(LogPath().c_str());
    rttest::DeleteRunOnceValue(kRunOnceValue);
  }

  std::string Line(const std::string& target, const std::string& source) {
    return targets_ + "\\" + target + "=" + sources_ + "\\" + source + "\r\n";
  }
  void Target(const std::string& name, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    ASSERT_TRUE(qmtest::WriteFileBytes(targets_ + "\\" + name, bytes));
    ::SetFileAttributesA((targets_ + "\\" + name).c_str(), attributes);
  }
  void Source(const std::string& name, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    ASSERT_TRUE(qmtest::WriteFileBytes(sources_ + "\\" + name, bytes));
    ::SetFileAttributesA((sources_ + "\\" + name).c_str(), attributes);
  }
  std::string TargetBytes(const std::string& name) { return qmtest::ReadFileBytes(targets_ + "\\" + name); }
  DWORD TargetAttributes(const std::string& name) { return ::GetFileAttributesA((targets_ + "\\" + name).c_str()); }
  qmtest::ProcessResult Run(const std::string& args = "") {
    return qmtest::RunProcess(rttest::Quote(program_) + (args.empty() ? "" : " " + args), kRunLimitMs);
  }
  std::string Log() { return qmtest::ReadFileBytes(LogPath()); }

  std::string scratch_;
  std::string targets_;
  std::string sources_;
  std::string program_;
};

TEST_P(RemovedTest, ReplacesEveryLineAndRemovesTheList) {
  Target("a.dll", "old a", FILE_ATTRIBUTE_READONLY);
  Source("a.dll", "new a");
  Source("b.dll", "new b", FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(qmtest::WriteFileBytes(ListPath(), Line("a.dll", "a.dll") + "\r\n" + Line("b.dll", "b.dll")));
  EXPECT_EQ(Run().exit_as<RemovedResult>(), RemovedResult::kOk) << Log();
  EXPECT_EQ(TargetBytes("a.dll"), "new a");
  EXPECT_EQ(TargetBytes("b.dll"), "new b");
  for (const char* name : {"a.dll", "b.dll"}) EXPECT_FALSE(TargetAttributes(name) & FILE_ATTRIBUTE_READONLY) << name;
  EXPECT_FALSE(qmtest::FileExists(ListPath()));
  EXPECT_EQ(rttest::ReadRunOnceValue(kRunOnceValue), "");
  EXPECT_NE(Log().find("all done, list removed"), std::string::npos) << Log();
  const char* version = GetParam() == "win98" ? "started on Windows 4.10 (platform 1)" : "(platform 2)";
  EXPECT_NE(Log().find(version), std::string::npos) << Log();
}

TEST_P(RemovedTest, EveryBadLineGetsALogLine) {
  Source("a.dll", "new a");
  struct Row {
    std::string line;
    std::string logged;
  };
  const Row rows[] = {
      {"not a replacement line\r\n", "line 1 malformed, dropped: not a replacement line"},
      {"=" + sources_ + "\\a.dll\r\n", "line 2 malformed"},
      {"   \r\n", "1 blank lines dropped"},
      {Line("x.dll", "missing.dll"), "source missing, line dropped: " + targets_ + "\\x.dll"},
      {targets_ + "\\gone\\y.dll=" + sources_ + "\\a.dll\r\n", "target folder missing, line dropped"},
      {targets_ + "=" + sources_ + "\\a.dll\r\n", "target is a folder, line dropped"},
      {Line("a.dll", "a.dll"), "replaced " + targets_ + "\\a.dll"},
  };
  std::string list;
  for (const Row& row : rows) list += row.line;
  ASSERT_TRUE(qmtest::WriteFileBytes(ListPath(), list));
  EXPECT_EQ(Run().exit_as<RemovedResult>(), RemovedResult::kOk);
  for (const Row& row : rows) EXPECT_NE(Log().find(row.logged), std::string::npos) << row.logged << "\n" << Log();
  EXPECT_EQ(TargetBytes("a.dll"), "new a");
  EXPECT_FALSE(qmtest::FileExists(ListPath()));
  EXPECT_FALSE(qmtest::FileExists(targets_ + "\\gone"));
}

TEST_P(RemovedTest, NoListIsNothingToDo) {
  EXPECT_EQ(Run().exit_as<RemovedResult>(), RemovedResult::kOk);
  EXPECT_NE(Log().find("nothing to do"), std::string::npos) << Log();
  EXPECT_EQ(Run("-x").exit_as<RemovedResult>(), RemovedResult::kUsage);
  EXPECT_EQ(Run("-w many").exit_as<RemovedResult>(), RemovedResult::kUsage);
}

TEST_P(RemovedTest, WaitsForATargetInUse) {
  Target("held.dll", "old");
  Source("held.dll", "new");
  ASSERT_TRUE(qmtest::WriteFileBytes(ListPath(), Line("held.dll", "held.dll")));
  auto holder = std::make_unique<qmtest::FileHolder>(targets_ + "\\held.dll");
  ASSERT_TRUE(holder->holding());
  qm::ScopedHandle process = rttest::StartProcess(rttest::Quote(program_));
  ASSERT_TRUE(process);
  ::Sleep(kReleaseAfterMs);
  EXPECT_EQ(TargetBytes("held.dll"), "");  // unreadable while held
  holder.reset();
  ASSERT_EQ(::WaitForSingleObject(process.get(), kRunLimitMs), WAIT_OBJECT_0);
  DWORD exit_code = 0;
  ::GetExitCodeProcess(process.get(), &exit_code);
  EXPECT_EQ(static_cast<RemovedResult>(exit_code), RemovedResult::kOk) << Log();
  EXPECT_EQ(TargetBytes("held.dll"), "new");
  std::string log = Log();
  EXPECT_LT(log.find("in use, waiting: " + targets_ + "\\held.dll"), log.find("replaced " + targets_)) << log;
  EXPECT_FALSE(qmtest::FileExists(ListPath()));
}

TEST_P(RemovedTest, KeepsWhatStaysInUseForTheNextLogon) {
  Target("held.dll", "old");
  Source("held.dll", "new");
  Source("free.dll", "free");
  ASSERT_TRUE(qmtest::WriteFileBytes(ListPath(), Line("held.dll", "held.dll") + Line("free.dll", "free.dll")));
  {
    qmtest::FileHolder holder(targets_ + "\\held.dll");
    ASSERT_TRUE(holder.holding());
    EXPECT_EQ(Run("-w 2").exit_as<RemovedResult>(), RemovedResult::kPending);
  }
  EXPECT_EQ(TargetBytes("free.dll"), "free");
  EXPECT_EQ(TargetBytes("held.dll"), "old");
  EXPECT_EQ(qmtest::ReadFileBytes(ListPath()), Line("held.dll", "held.dll"));
  EXPECT_EQ(rttest::ReadRunOnceValue(kRunOnceValue), program_) << "runs again at the next logon";
  EXPECT_NE(Log().find("still in use, kept for the next logon: " + targets_ + "\\held.dll"), std::string::npos);
  // The next logon, the holder gone.
  EXPECT_EQ(Run().exit_as<RemovedResult>(), RemovedResult::kOk);
  EXPECT_EQ(TargetBytes("held.dll"), "new");
  EXPECT_FALSE(qmtest::FileExists(ListPath()));
}

INSTANTIATE_TEST_SUITE_P(AsItIsAndOnWindows98, RemovedTest, ::testing::Values("", "win98"));

// A restart in the same prefix: wineboot runs the HKLM RunOnce value at "logon" and removes it.
TEST(RemovedRestart, RunOnceStartsItAtTheNextLogon) {
  std::string scratch = qmtest::MakeScratchFolder("removed_restart");
  ASSERT_TRUE(qmtest::WriteFileBytes(scratch + "\\target.dll", "old"));
  ASSERT_TRUE(qmtest::WriteFileBytes(scratch + "\\source.dll", "new"));
  ASSERT_TRUE(qmtest::WriteFileBytes(ListPath(), scratch + "\\target.dll=" + scratch + "\\source.dll\r\n"));
  qm::RegKey key;
  ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, rttest::kRunOnceKey), ERROR_SUCCESS);
  ASSERT_EQ(key.WriteString(kRunOnceValue, Program()), ERROR_SUCCESS);
  EXPECT_EQ(qmtest::RunProcess("wineboot.exe -r").exit_code, 0u);
  EXPECT_EQ(qmtest::ReadFileBytes(scratch + "\\target.dll"), "new");
  EXPECT_FALSE(qmtest::FileExists(ListPath()));
  EXPECT_FALSE(key.HasValue(kRunOnceValue));
  ::DeleteFileA(LogPath().c_str());
  key.DeleteValue(kRunOnceValue);
  qmtest::DeleteTree(scratch);
}

}  // namespace

// Work deferred to the next restart, against the real file system and registry, with the restart
// itself performed by wineboot.
#include "engine/ops/restart_ops.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "base/win/reg_key.h"
#include "engine/core/engine_state.h"
#include "qmsetup/results.h"
#include "tests/win/engine_access.h"
#include "tests/win/test_support.h"

namespace {

constexpr char kRunOnce[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

std::string ShortPath(const std::string& path) {
  char out[1024] = {};
  ::GetShortPathNameA(path.c_str(), out, sizeof(out));
  return out;
}

bool Pending(const std::string& source, const std::string& target) {
  std::vector<std::string> items = qmtest::PendingFileRenameOperations();
  for (size_t i = 0; i + 1 < items.size(); i += 2)
    if (items[i] == "\\??\\" + source && items[i + 1] == target) return true;
  return false;
}

TEST(Wininit, DeletionEntries) {
  struct Row {
    const char* name;
    const char* before;
    const char* after;
  };
  const Row rows[] = {
      {"no file yet", "", "\r\n[rename]\r\nNUL=C:\\D\\X.TXT"},
      {"no section", "[other]\r\na=b\r\n", "[other]\r\na=b\r\n\r\n[rename]\r\nNUL=C:\\D\\X.TXT"},
      {"section in another case", "[Rename]\r\nNUL=C:\\Y\r\n[x]\r\n", "[Rename]\r\nNUL=C:\\D\\X.TXT\r\nNUL=C:\\Y\r\n[x]\r\n"},
      {"named already, other case", "[rename]\r\nNUL=c:\\d\\x.txt\r\n", "[rename]\r\nNUL=c:\\d\\x.txt\r\n"},
      {"named in another section only", "[rename]\r\nNUL=C:\\Y\r\n[keep]\r\nC:\\D\\X.TXT\r\n",
       "[rename]\r\nNUL=C:\\D\\X.TXT\r\nNUL=C:\\Y\r\n[keep]\r\nC:\\D\\X.TXT\r\n"},
  };
  for (const Row& row : rows) EXPECT_EQ(qm::WininitWithDeletion(row.before, "NUL", "C:\\D\\X.TXT"), row.after) << row.name;
}

class RestartOpsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_ = qmtest::MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    qm::EngineState& state = qm::EngineGetState();
    state.windows_folder = scratch_;
    state.windows_temp_folder = scratch_;
    state.unpack_folder = scratch_ + "\\KX2";
    state.effects.restart_needed = 0;
  }
  void TearDown() override { qmtest::DeleteTree(scratch_); }
  std::string scratch_;
};

TEST_F(RestartOpsTest, WininitFileIsCreatedAndEachPathScheduledOnce) {
  const std::string ini = scratch_ + "\\WININIT.INI";
  const std::string folder = scratch_ + "\\folder";
  const std::string file = scratch_ + "\\file.txt";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  ASSERT_TRUE(qmtest::WriteFileBytes(file, "x"));
  EXPECT_EQ(qm::AddWininitDelete(qm::EngineGetState(), folder), 1);
  EXPECT_EQ(qmtest::ReadFileBytes(ini), "\r\n[rename]\r\nDIRNUL=" + ShortPath(folder));
  EXPECT_EQ(qm::AddWininitDelete(qm::EngineGetState(), folder), 1) << "the same folder again";
  EXPECT_EQ(qm::AddWininitDelete(qm::EngineGetState(), file), 1);
  EXPECT_EQ(qmtest::ReadFileBytes(ini), "\r\n[rename]\r\nNUL=" + ShortPath(file) + "\r\nDIRNUL=" + ShortPath(folder));
  EXPECT_EQ(qm::AddWininitDelete(qm::EngineGetState(), scratch_ + "\\gone.txt"), 0) << "no short form: nothing is written";
  EXPECT_EQ(qmtest::ReadFileBytes(ini), "\r\n[rename]\r\nNUL=" + ShortPath(file) + "\r\nDIRNUL=" + ShortPath(folder));
}

// The NT replacement of files in use, and a deletion through WININIT.INI, performed by a restart.
TEST_F(RestartOpsTest, InUseReplacementsAndDeletionsSurviveARestart) {
  const std::string old_bytes = qmtest::ReadFileBytes(qmtest::BinFolder() + "\\fake_engine.dll");
  const std::string new_bytes = qmtest::ReadFileBytes(qmtest::BinFolder() + "\\fake_engine_nofinish.dll");
  ASSERT_NE(old_bytes, new_bytes);
  const std::string target = scratch_ + "\\busy.dll", other = scratch_ + "\\other.dll", source = scratch_ + "\\new.dll";
  ASSERT_TRUE(qmtest::WriteFileBytes(target, old_bytes));
  ASSERT_TRUE(qmtest::WriteFileBytes(other, old_bytes));
  ASSERT_TRUE(qmtest::WriteFileBytes(source, new_bytes));
  const std::string doomed = scratch_ + "\\doomed.txt";
  ASSERT_TRUE(qmtest::WriteFileBytes(doomed, "x"));
  {
    qmtest::FileHolder busy(target, "load");
    qmtest::FileHolder busy_other(other, "load");
    ASSERT_TRUE(busy.holding() && busy_other.holding());
    EXPECT_FALSE(::DeleteFileA(target.c_str())) << "a loaded library cannot be deleted";

    EXPECT_EQ(qm::ReplaceAtRestart(qm::EngineGetState(), source, target), 0);
    EXPECT_EQ(qmtest::ReadFileBytes(target), new_bytes);
    EXPECT_EQ(qmtest::ReadFileBytes(target + ".OLD"), old_bytes);
    EXPECT_TRUE(Pending(target + ".OLD", ""));

    EXPECT_EQ(qm::ReplaceAtRestart(qm::EngineGetState(), source, target), qm::EngineResult::kReplaceMoveAsideFailed)
        << "the .OLD still waits";
    EXPECT_EQ(qm::ReplaceAtRestart(qm::EngineGetState(), scratch_ + "\\missing.dll", other),
              qm::EngineResult::kReplaceCopyFailed);
    EXPECT_EQ(qmtest::ReadFileBytes(other), old_bytes) << "moved back, not lost";
    EXPECT_FALSE(qmtest::FileExists(other + ".OLD"));

    qm::EngineGetState().windows_folder = qmtest::WindowsFolder();
    ::DeleteFileA((qmtest::WindowsFolder() + "\\WININIT.INI").c_str());
    EXPECT_EQ(qm::AddWininitDelete(qm::EngineGetState(), doomed), 1);
  }
  qmtest::ProcessResult restart = qmtest::RunProcess("wineboot.exe -r");
  EXPECT_EQ(restart.exit_code, 0u);
  EXPECT_EQ(qmtest::ReadFileBytes(target), new_bytes);
  EXPECT_FALSE(qmtest::FileExists(target + ".OLD"));
  EXPECT_FALSE(Pending(target + ".OLD", ""));
  EXPECT_FALSE(qmtest::FileExists(doomed));
  ::DeleteFileA((qmtest::WindowsFolder() + "\\wininit.bak").c_str());
}

// A 32-bit process on 64-bit Windows sees the 32-bit system folder as "system32"; the restart
// works natively, so what is scheduled below our system folder must be named below SysWOW64.
TEST_F(RestartOpsTest, SystemFolderFilesAreGoneAfterTheRestart) {
  using Wow64FolderFn = UINT(WINAPI*)(LPSTR, UINT);
  auto wow64_folder =
      reinterpret_cast<Wow64FolderFn>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetSystemWow64DirectoryA"));
  char wow64[MAX_PATH] = {};
  BOOL is_wow64 = FALSE;
  using IsWow64Fn = BOOL(WINAPI*)(HANDLE, PBOOL);
  auto query = reinterpret_cast<IsWow64Fn>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "IsWow64Process"));
  if (query) query(::GetCurrentProcess(), &is_wow64);
  if (is_wow64 && wow64_folder) wow64_folder(wow64, MAX_PATH);
  const std::string system = qmtest::SystemFolder();
  const std::string native = is_wow64 ? std::string(wow64) : system;

  EXPECT_EQ(qm::RestartTimePath(system + "\\x.dll"), native + "\\x.dll");
  EXPECT_EQ(qm::RestartTimePath(system + "\\sub\\x.dll"), native + "\\sub\\x.dll");
  EXPECT_EQ(qm::RestartTimePath(system + "x\\x.dll"), system + "x\\x.dll") << "another folder";
  EXPECT_EQ(qm::RestartTimePath(system), system) << "the folder itself is not ours";
  EXPECT_EQ(qm::RestartTimePath(scratch_ + "\\x.dll"), scratch_ + "\\x.dll");

  const std::string doomed = system + "\\qm_restart_probe.dat";
  const std::string busy = system + "\\qm_restart_probe.dll";
  const std::string source = scratch_ + "\\new.dll";
  ASSERT_TRUE(qmtest::WriteFileBytes(doomed, "x"));
  ASSERT_TRUE(qmtest::WriteFileBytes(busy, qmtest::ReadFileBytes(qmtest::BinFolder() + "\\fake_engine.dll")));
  ASSERT_TRUE(qmtest::WriteFileBytes(source, qmtest::ReadFileBytes(qmtest::BinFolder() + "\\fake_engine_nofinish.dll")));
  {
    qmtest::FileHolder holder(busy, "load");
    ASSERT_TRUE(holder.holding());
    qm::DeleteAtRestart(qm::EngineGetState(), doomed);
    EXPECT_TRUE(Pending(native + "\\qm_restart_probe.dat", ""));
    EXPECT_EQ(qm::ReplaceAtRestart(qm::EngineGetState(), source, busy), 0);
    EXPECT_TRUE(Pending(native + "\\qm_restart_probe.dll.OLD", ""));
  }
  EXPECT_EQ(qmtest::RunProcess("wineboot.exe -r").exit_code, 0u);
  EXPECT_FALSE(qmtest::FileExists(doomed));
  EXPECT_FALSE(qmtest::FileExists(busy + ".OLD"));
  EXPECT_EQ(qmtest::ReadFileBytes(busy), qmtest::ReadFileBytes(source));
  ::DeleteFileA(doomed.c_str());
  ::DeleteFileA((busy + ".OLD").c_str());
  ::DeleteFileA(busy.c_str());
}

// A copy that fails after the in-use target was moved aside (here: a source another program holds
// without sharing) puts the installed file back and keeps the copy's error for the log. A copy
// that breaks off half-way on a full disk is in tests/faults/disk_test.cpp.
TEST_F(RestartOpsTest, BrokenCopyPutsTheInstalledFileBack) {
  const std::string target = scratch_ + "\\busy.dll", source = scratch_ + "\\new.dll";
  const std::string old_bytes = qmtest::ReadFileBytes(qmtest::BinFolder() + "\\fake_engine.dll");
  ASSERT_TRUE(qmtest::WriteFileBytes(target, old_bytes));
  ASSERT_TRUE(qmtest::WriteFileBytes(source, "new"));
  qmtest::FileHolder busy(target, "load");
  ASSERT_TRUE(busy.holding());
  {
    qmtest::FileHolder locked(source);
    ASSERT_TRUE(locked.holding());
    EXPECT_EQ(qm::ReplaceAtRestart(qm::EngineGetState(), source, target), qm::EngineResult::kReplaceCopyFailed);
  }
  EXPECT_NE(::GetLastError(), 0u) << "the copy's error is kept for the log";
  EXPECT_EQ(qmtest::ReadFileBytes(target), old_bytes);
  EXPECT_FALSE(qmtest::FileExists(target + ".OLD"));
}

// The Windows 95 family's replacement route, run in a child that Wine tells it runs on Windows 98.
TEST(RestartOps9xChild, Replace) {
  const char* scratch = std::getenv("QM_9X_SCRATCH");
  if (!scratch) GTEST_SKIP() << "child mode only";
  qm::EngineState& state = qm::EngineGetState();
  state.windows_folder = scratch;
  state.windows_temp_folder = scratch;
  state.unpack_folder = std::string(scratch) + "\\KX2";
  const std::string s = scratch;
  ASSERT_TRUE(qmtest::WriteFileBytes(s + "\\a.dll", "a"));
  EXPECT_EQ(qm::ReplaceAtRestart(qm::EngineGetState(), s + "\\new_a.dll", s + "\\a.dll"), 0);
  EXPECT_EQ(qm::ReplaceAtRestart(qm::EngineGetState(), s + "\\new_b.dll", s + "\\b.dll"), 0);
  EXPECT_EQ(qmtest::ReadFileBytes(s + "\\a.dll"), "a") << "nothing is touched before the restart";
  EXPECT_EQ(qmtest::ReadFileBytes(s + "\\_REMOVED.INI"),
            s + "\\a.dll=" + s + "\\new_a.dll\r\n" + s + "\\b.dll=" + s + "\\new_b.dll\r\n");
  qm::RegKey run_once;
  std::string program;
  ASSERT_EQ(run_once.Open(HKEY_LOCAL_MACHINE, kRunOnce, KEY_READ), ERROR_SUCCESS);
  EXPECT_EQ(run_once.ReadString("removed", &program), ERROR_SUCCESS);
  EXPECT_EQ(program, s + "\\KX2\\_removed.exe");
  qm::DeleteAtRestart(qm::EngineGetState(), s + "\\a.dll");
  EXPECT_EQ(qmtest::ReadFileBytes(s + "\\WININIT.INI"), "\r\n[rename]\r\nNUL=" + ShortPath(s + "\\a.dll"));
}

TEST_F(RestartOpsTest, Windows98ReplacesThroughTheListAndRunOnce) {
  ::SetEnvironmentVariableA("QM_9X_SCRATCH", scratch_.c_str());
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  qmtest::ProcessResult r = qmtest::RunAsWindowsVersion(self, "win98", "--gtest_filter=RestartOps9xChild.Replace");
  ::SetEnvironmentVariableA("QM_9X_SCRATCH", nullptr);
  EXPECT_EQ(r.exit_code, 0u) << r.output;
  EXPECT_NE(r.output.find("[  PASSED  ] 1 test"), std::string::npos) << r.output;
  qm::RegKey run_once;
  if (run_once.Open(HKEY_LOCAL_MACHINE, kRunOnce, KEY_ALL_ACCESS) == ERROR_SUCCESS) run_once.DeleteValue("removed");
}

}  // namespace

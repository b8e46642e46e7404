// The runtime MSI under Wine's own msiexec: the packages built around the test front (real
// engine, small package), the stand-in engine's front (answers steered through the environment,
// which msiexec's custom-action process inherits under Wine) and the shipped front.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/win/reg_key.h"
#include "components/msi/scoped_msi_handle.h"
#include "tests/win/engine_fixture.h"
#include "tests/win/test_support.h"

namespace {

constexpr DWORD kExitOk = 0;
constexpr DWORD kExitRestart = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED
constexpr DWORD kExitFailed = 1603;   // ERROR_INSTALL_FAILURE
constexpr char kTestProduct[] = "0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9_KX2";  // the test package's

std::string Msi(const char* name) { return qmtest::BinFolder() + "\\" + name + ".msi"; }

std::string ProgramFiles() {
  qm::RegKey key;
  std::string folder;
  key.Open(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", KEY_QUERY_VALUE);
  key.ReadString("ProgramFilesDir", &folder);
  return folder;
}

std::string QmFolder() { return ProgramFiles() + "\\QM"; }
std::string InstalledFront() { return QmFolder() + "\\KX2 Setup\\Inst_kx2.dll"; }

std::string ProductCode(const std::string& msi) {
  MSIHANDLE raw = 0;
  if (::MsiOpenDatabaseA(msi.c_str(), MSIDBOPEN_READONLY, &raw) != ERROR_SUCCESS) return "";
  qm::ScopedMsiHandle database(raw);
  if (::MsiDatabaseOpenViewA(database.get(), "SELECT `Value` FROM `Property` WHERE `Property` = 'ProductCode'", &raw) !=
      ERROR_SUCCESS)
    return "";
  qm::ScopedMsiHandle view(raw);
  if (::MsiViewExecute(view.get(), 0) != ERROR_SUCCESS || ::MsiViewFetch(view.get(), &raw) != ERROR_SUCCESS) return "";
  qm::ScopedMsiHandle record(raw);
  char code[64] = {};
  DWORD size = sizeof(code);
  ::MsiRecordGetStringA(record.get(), 1, code, &size);
  return code;
}

bool Installed(const std::string& msi) { return ::MsiQueryProductStateA(ProductCode(msi).c_str()) == INSTALLSTATE_DEFAULT; }

struct MsiRun {
  DWORD exit_code;
  std::string log;  // the verbose MSI log
};

// msiexec OPTION "MSI" /qn /norestart /l*v LOG PROPERTIES, with QM_FAKE_ANSWERS set to |answers|.
MsiRun Msiexec(const char* option, const std::string& msi, const std::string& properties = "",
            const std::string& answers = "") {
  const std::string log = qmtest::TempPath() + "qmtest_msi.log";
  ::DeleteFileA(log.c_str());
  ::SetEnvironmentVariableA("QM_FAKE_ANSWERS", answers.empty() ? nullptr : answers.c_str());
  qmtest::ProcessResult r = qmtest::RunProcess(std::string("msiexec ") + option + " \"" + msi +
                                               "\" /qn /norestart /l*v \"" + log + "\" " + properties);
  ::SetEnvironmentVariableA("QM_FAKE_ANSWERS", nullptr);
  MsiRun run{r.exit_code, qmtest::ReadFileBytes(log)};
  ::DeleteFileA(log.c_str());
  return run;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string EngineLogWords() { return "the setup engine failed; see " + qmtest::WindowsFolder() + "\\Temp\\_!QMSetup_.log"; }

// The raw PendingFileRenameOperations value, which the front's pre-check adds to.
std::string PendingOperationsValue(bool* present) {
  qm::RegKey key;
  *present = false;
  if (key.Open(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", KEY_QUERY_VALUE) !=
      ERROR_SUCCESS)
    return "";
  DWORD size = 0;
  if (::RegQueryValueExA(key.get(), "PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
    return "";
  std::string data(size, '\0');
  *present = ::RegQueryValueExA(key.get(), "PendingFileRenameOperations", nullptr, nullptr,
                                reinterpret_cast<BYTE*>(&data[0]), &size) == ERROR_SUCCESS;
  data.resize(size);
  return data;
}

class MsiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qmtest::CleanEngineTraces();
    pending_ = PendingOperationsValue(&pending_present_);
  }

  void TearDown() override {
    for (const char* name : {"QMSetup-runtime-test", "QMSetup-runtime-test-newer", "QMSetup-runtime-fake", "QMSetup-runtime"}) {
      if (Installed(Msi(name))) {
        EXPECT_EQ(Msiexec("/x", Msi(name)).exit_code, kExitOk) << name << " left installed";
      }
    }
    qm::RegKey key;
    key.Open(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", KEY_SET_VALUE);
    if (pending_present_)
      key.WriteRaw("PendingFileRenameOperations", REG_MULTI_SZ, pending_.data(), static_cast<DWORD>(pending_.size()));
    else
      key.DeleteValue("PendingFileRenameOperations");
    qmtest::CleanEngineTraces();
    qmtest::DeleteTree(qmtest::StagingFolder());
  }

  std::string pending_;
  bool pending_present_ = false;
};

TEST_F(MsiTest, InstallRunsTheFrontOnceAndRemovalUndoesIt) {
  const std::string msi = Msi("QMSetup-runtime-test");
  MsiRun install = Msiexec("/i", msi, "LANGSEL=1");
  EXPECT_EQ(install.exit_code, kExitOk);
  EXPECT_TRUE(Has(install.log, "QMSetup: kx_PrePareCheck returned 0: the runtime may be installed")) << install.log;
  EXPECT_TRUE(Has(install.log, "QMSetup: kx_Install returned 0: done")) << install.log;
  const std::vector<std::string> engine_log = qmtest::EngineLogLines();
  EXPECT_NE(std::find(engine_log.begin(), engine_log.end(), "SetLangID is: 2052"), engine_log.end());
  const std::vector<std::string> record = qmtest::RegistryTree("Software\\QMSrv");
  EXPECT_TRUE(qmtest::RegistryKeyExists(std::string("Software\\QMSrv\\Product\\") + kTestProduct));
  EXPECT_TRUE(qmtest::FileExists(InstalledFront()));
  EXPECT_TRUE(Installed(msi));

  MsiRun again = Msiexec("/i", msi, "LANGSEL=1");
  EXPECT_EQ(again.exit_code, kExitOk);
  EXPECT_FALSE(Has(again.log, "kx_Install")) << "the installed product is not installed again";
  EXPECT_EQ(qmtest::EngineLogLines(), engine_log);
  EXPECT_EQ(qmtest::RegistryTree("Software\\QMSrv"), record);
  EXPECT_TRUE(qmtest::FileExists(InstalledFront()));

  MsiRun remove = Msiexec("/x", msi);
  EXPECT_EQ(remove.exit_code, kExitOk);
  EXPECT_TRUE(Has(remove.log, "QMSetup: kx_Uninstall returned 0: done")) << remove.log;
  EXPECT_FALSE(qmtest::RegistryKeyExists("Software\\QMSrv"));
  EXPECT_FALSE(qmtest::FileExists(InstalledFront()));
  EXPECT_FALSE(qmtest::FileExists(QmFolder()));
  EXPECT_FALSE(Installed(msi));
}

TEST_F(MsiTest, NewerMsiReplacesTheOlderAndTheOlderIsRefusedAfterIt) {
  const std::string older = Msi("QMSetup-runtime-test");
  const std::string newer = Msi("QMSetup-runtime-test-newer");
  ASSERT_EQ(Msiexec("/i", older).exit_code, kExitOk);
  const char* by_user_language = ::GetUserDefaultLangID() == 2052 ? "SetLangID is: 4444" : "SetLangID is: 1028";
  std::vector<std::string> lines = qmtest::EngineLogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), by_user_language), lines.end()) << "LANGSEL is 3 by default";

  MsiRun upgrade = Msiexec("/i", newer, "LANGSEL=2");
  EXPECT_EQ(upgrade.exit_code, kExitOk) << upgrade.log;
  EXPECT_FALSE(Installed(older));
  EXPECT_TRUE(Installed(newer));
  lines = qmtest::EngineLogLines();
  auto removal = std::find(lines.begin(), lines.end(), "====>Begin to UNINSTALL:");
  EXPECT_NE(removal, lines.end()) << "the older product is removed through its front";
  EXPECT_NE(std::find(removal, lines.end(), "SetLangID is: 1033"), lines.end()) << "then the newer one installed";
  EXPECT_TRUE(qmtest::RegistryKeyExists(std::string("Software\\QMSrv\\Product\\") + kTestProduct));
  EXPECT_TRUE(qmtest::FileExists(InstalledFront()));

  MsiRun downgrade = Msiexec("/i", older);
  EXPECT_EQ(downgrade.exit_code, kExitFailed) << "the launch condition refuses a downgrade";
  EXPECT_FALSE(Has(downgrade.log, "kx_Install"));
  EXPECT_FALSE(Installed(older));
  EXPECT_TRUE(Installed(newer));
}

TEST_F(MsiTest, PendingRestartFailsThePreCheckAndLeavesNothing) {
  ASSERT_TRUE(qmtest::WriteFileBytes(qmtest::MarkerPath(), ""));
  const std::string msi = Msi("QMSetup-runtime-test");
  MsiRun install = Msiexec("/i", msi);
  EXPECT_EQ(install.exit_code, kExitFailed);
  EXPECT_TRUE(Has(install.log,
                  "QMSetup: kx_PrePareCheck returned 8: a restart from an earlier installation is still pending; "
                  "restart Windows, then install again"))
      << install.log;
  EXPECT_FALSE(Has(install.log, "kx_Install"));
  EXPECT_FALSE(Installed(msi));
  EXPECT_FALSE(qmtest::FileExists(InstalledFront())) << "the front's file is rolled back";
  EXPECT_FALSE(qmtest::RegistryKeyExists("Software\\QMSrv"));
}

// One step after another on the stand-in engine's MSI: each answer of the front, in both
// directions, and what msiexec makes of it.
TEST_F(MsiTest, FrontResultsBecomeExitCodesAndWords) {
  constexpr int kUnchecked = -1;  // Wine's rollback of a failed removal unpublishes the product
  struct Step {
    const char* option;
    const char* properties;
    const char* answers;  // the stand-in engine's QM_FAKE_ANSWERS
    DWORD exit_code;
    std::string words;
    bool front_after;
    int registered_after;
  };
  const Step steps[] = {
      {"/i", "", "", kExitOk, "kx_Install returned 0: done", true, 1},
      {"/x", "", "Finish=12", kExitRestart, "kx_Uninstall returned 1: done; Windows must be restarted to complete it",
       false, 0},
      {"/i", "", "Finish=12", kExitRestart, "kx_Install returned 1: done; Windows must be restarted to complete it", true,
       1},
      {"/x", "", "Prepare=1", kExitFailed, "kx_Uninstall returned 2: " + EngineLogWords(), true, kUnchecked},
      {"/x", "", "", kExitOk, "kx_Uninstall returned 0: done", false, 0},
      {"/i", "", "Prepare=1", kExitFailed, "kx_Install returned 2: " + EngineLogWords(), false, 0},
      {"/i", "LANGSEL=7", "", kExitFailed, "LANGSEL is \"7\"; it must be 1, 2 or 3", false, 0},
  };
  const std::string msi = Msi("QMSetup-runtime-fake");
  for (const Step& step : steps) {
    SCOPED_TRACE(std::string(step.option) + " " + step.properties + " answers " + step.answers);
    MsiRun run = Msiexec(step.option, msi, step.properties, step.answers);
    EXPECT_EQ(run.exit_code, step.exit_code);
    EXPECT_TRUE(Has(run.log, "QMSetup: " + step.words)) << run.log;
    EXPECT_EQ(qmtest::FileExists(InstalledFront()), step.front_after);
    if (step.registered_after != kUnchecked) {
      EXPECT_EQ(Installed(msi), step.registered_after == 1);
    }
  }
}

// Whatever the shipped package can do yet: the shipped MSI runs the shipped front, and its exit
// code is what the front answered.
TEST_F(MsiTest, ShippedMsiRunsTheShippedFront) {
  const std::string msi = Msi("QMSetup-runtime");
  MsiRun install = Msiexec("/i", msi);
  EXPECT_TRUE(Has(install.log, "QMSetup: kx_PrePareCheck returned 0")) << install.log;
  const std::string tag = "QMSetup: kx_Install returned ";
  size_t at = install.log.find(tag);
  ASSERT_NE(at, std::string::npos) << install.log;
  const int code = std::atoi(install.log.c_str() + at + tag.size());
  EXPECT_EQ(install.exit_code, code == 0 ? kExitOk : code == 1 ? kExitRestart : kExitFailed);
  EXPECT_EQ(Installed(msi), code == 0 || code == 1);
}

}  // namespace

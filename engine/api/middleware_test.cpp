// The one-call exports: action lists, error-stop settings, codes and the version comparison.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "base/win/reg_key.h"
#include "tests/win/engine_fixture.h"
#include "tests/win/test_support.h"

namespace {

using Lines = std::vector<std::string>;
using PackageFn = int(__stdcall*)(const char*);

const char kProduct[] = "6F1C2E4A-3B7D-4C59-9E21-0A8B7D6C5E41_KX2";

std::string Script(const std::string& common_extra, const std::string& actlist, const std::string& version = "2.50") {
  return std::string("[FILES]\r\nCHECK \"a.txt\"\r\n[COMMON]\r\nVAR {PRODUCT_GUID} \"") + kProduct +
         "\"\r\nVAR {COMPANY_GUID} \"C_QM\"\r\nVAR {PRODUCT_VER} \"" + version + "\"\r\n" + common_extra +
         "[copy]\r\nCHECK \"a.txt\"\r\n[SetupHidReg]\r\nCHECK \"a.txt\"\r\n[broken]\r\nCHECK \"missing.txt\"\r\n"
         "[ACTLIST]\r\n" + actlist + "[UN.ACTLIST]\r\nFILES\r\nbroken\r\ncopy\r\n";
}

class MiddlewareTest : public qmtest::EngineTest {
 protected:
  void Start(const std::string& script, const std::string& package = "KX2.dat") {
    Unload();
    Package({{"qmsetup.ini", script}, {"a.txt", "a"}}, package);
    Load();
    auto bind = [&](const char* name) { return reinterpret_cast<PackageFn>(::GetProcAddress(engine_.module, name)); };
    install_ = bind("instMW_Install");
    uninstall_ = bind("instMW_Uninstall");
    have_installed_ = bind("instMW_IsHaveInstalled");
    need_reboot_ = reinterpret_cast<int(__stdcall*)()>(::GetProcAddress(engine_.module, "instMW_IsNeedReboot"));
    ASSERT_TRUE(install_ && uninstall_ && have_installed_ && need_reboot_);
    MarkLog();
  }
  // The chapters DoStep was asked for, in order.
  Lines StepsRun() const {
    Lines steps;
    for (const std::string& line : NewLogLines())
      if (line.compare(0, 21, "DoStep OneChapter is ") == 0) steps.push_back(line.substr(21));
    return steps;
  }
  static void Record(const char* version) {
    qm::RegKey products;
    products.Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Product");
    products.WriteDword(kProduct, 1);
    if (!version) return;
    qm::RegKey details;
    details.Create(HKEY_LOCAL_MACHINE, (std::string("Software\\QMSrv\\Product\\") + kProduct).c_str());
    details.WriteString("PRODUCT_VER", version);
  }
  PackageFn install_ = nullptr;
  PackageFn uninstall_ = nullptr;
  PackageFn have_installed_ = nullptr;
  int(__stdcall* need_reboot_)() = nullptr;
};

TEST_F(MiddlewareTest, InstallRunsTheActionListAndRecords) {
  Start(Script("", "FILES\r\ncopy\r\nSetupHidReg\r\n"), "QMSetup.dat");
  EXPECT_EQ(install_(""), 0) << "the default package is named after the engine";
  EXPECT_EQ(NewLogLines()[2], "Decompressing files form " + folder_ + "\\QMSetup.dat to " + folder_ + "\\QMSetup");
  EXPECT_EQ(StepsRun(), (Lines{"[ACTLIST]", "FILES", "copy", "SetupHidReg"}));
  EXPECT_TRUE(qmtest::RegistryKeyExists(std::string("Software\\QMSrv\\Product\\") + kProduct));
  EXPECT_EQ(need_reboot_(), 0);

  MarkLog();
  EXPECT_EQ(install_("QMSetup.dat"), 11) << "already recorded";
  EXPECT_EQ(StepsRun(), Lines{}) << "and no chapter runs";
}

TEST_F(MiddlewareTest, FailingChaptersAndTheErrorStopSettings) {
  struct Row {
    const char* name;
    std::string common;
    std::string actlist;
    int code;
    Lines steps;
    bool recorded;
  };
  const Row rows[] = {
      {"a failing chapter stops the install", "", "FILES\r\ncopy\r\nbroken\r\nSetupHidReg\r\n", 1,
       {"[ACTLIST]", "FILES", "copy", "broken"}, false},
      {"an unlisted chapter gives 1", "", "broken\r\ncopy\r\n", 1, {"[ACTLIST]", "broken"}, false},
      {"a missing chapter", "", "FILES\r\nnowhere\r\ncopy\r\n", 1, {"[ACTLIST]", "FILES", "nowhere"}, false},
      {"going on after failures", "DEF INSTALLERRSTOP \"FALSE\"\r\n", "broken\r\nnowhere\r\ncopy\r\n", 0,
       {"[ACTLIST]", "broken", "nowhere", "copy"}, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    qmtest::CleanEngineTraces();
    Start(Script(row.common, row.actlist));
    EXPECT_EQ(install_("KX2.dat"), row.code);
    EXPECT_EQ(StepsRun(), row.steps);
    EXPECT_EQ(qmtest::RegistryKeyExists("Software\\QMSrv\\Product"), row.recorded);
  }
  qmtest::CleanEngineTraces();
  Start(Script("", "copy\r\n").replace(Script("", "copy\r\n").find("[copy]"), 6, "[kopy]"));
  EXPECT_EQ(install_("KX2.dat"), 2) << "the line \"copy\" maps to 2";

  Start(Script("", "").substr(0, Script("", "").find("[ACTLIST]")));
  EXPECT_EQ(install_("KX2.dat"), 1);
  EXPECT_EQ(NewLogLines().back(), "Can not find chaper [ACTLIST].");
  EXPECT_EQ(uninstall_("KX2.dat"), 1);
  EXPECT_EQ(NewLogLines().back(), "Can not find chaper [UN.ACTLIST].");
}

TEST_F(MiddlewareTest, UninstallRunsEverythingEvenWithNothingRecorded) {
  Start(Script("", "FILES\r\n"));
  EXPECT_EQ(uninstall_("KX2.dat"), 0) << "IsInstall and Finish answer 20, which a removal takes as done";
  EXPECT_EQ(StepsRun(), (Lines{"[UN.ACTLIST]", "FILES", "broken", "copy"})) << "removal goes on by default";
  EXPECT_EQ(install_("KX2.dat"), 0);
  EXPECT_EQ(uninstall_("KX2.dat"), 0);
  EXPECT_FALSE(qmtest::RegistryKeyExists("Software\\QMSrv"));

  Start(Script("DEF UNINSTALLERRSTOP \"TRUE\"\r\n", "FILES\r\n"));
  EXPECT_EQ(uninstall_("KX2.dat"), 1);
  EXPECT_EQ(StepsRun(), (Lines{"[UN.ACTLIST]", "FILES", "broken"}));
}

TEST_F(MiddlewareTest, RestartNeededIsDoneAndBlocksTheNextRun) {
  qm::RegKey().Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv");  // an earlier product of the family
  Start(Script("", "FILES\r\n"));
  EXPECT_EQ(install_("KX2.dat"), 0);
  EXPECT_EQ(need_reboot_(), 1);
  EXPECT_EQ(install_("KX2.dat"), 12);
  EXPECT_EQ(uninstall_("KX2.dat"), 12);
}

TEST_F(MiddlewareTest, VersionComparison) {
  struct Row {
    const char* name;
    const char* recorded;  // nullptr: product not recorded; "-": recorded without a version
    const char* packaged;  // the package's {PRODUCT_VER}
    int code;
  };
  const Row rows[] = {
      {"not recorded", nullptr, "2.5", 0},        {"same number", "2.5", "2.50", 2},
      {"package newer", "2.5", "2.51", 1},        {"recorded newer", "2.51", "2.5", 3},
      {"no recorded version", "-", "2.5", 1},     {"empty package version", "2.5", "", 3},
      {"trailing text ignored", "10.1x", "10.10271150", 1},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    qmtest::CleanEngineTraces();
    if (row.recorded) Record(std::string(row.recorded) == "-" ? nullptr : row.recorded);
    Start(Script("", "FILES\r\n", row.packaged));
    EXPECT_EQ(have_installed_("KX2.dat"), row.code);
  }
  qmtest::CleanEngineTraces();
  Start("[FILES]\r\n[COMMON]\r\nVAR {PRODUCT_GUID} \"\"\r\n");
  EXPECT_EQ(have_installed_("KX2.dat"), 0) << "an empty product identifier";
  Start("[FILES]\r\n[COMMON]\r\n");
  EXPECT_EQ(have_installed_("KX2.dat"), 5);
  EXPECT_FALSE(qmtest::RegistryKeyExists(std::string("Software\\QMSrv\\Product\\") + kProduct)) << "never writes";
}

TEST_F(MiddlewareTest, PackageNames) {
  Start(Script("", "FILES\r\n"));
  const std::string long_name(260, 'p');
  EXPECT_EQ(install_(long_name.c_str()), 1);
  EXPECT_EQ(NewLogLines(), (Lines{"Package name is longer than 259 characters: " + long_name}));
  EXPECT_EQ(have_installed_(long_name.c_str()), 5);

  // An engine file without "." gets its whole name and ".dat" (whose unpack folder would then be
  // the engine file itself, so that install cannot go far).
  Unload();
  ASSERT_TRUE(::CopyFileA((folder_ + "\\QMSetup.dll").c_str(), (folder_ + "\\QMSETUP").c_str(), FALSE));
  Package({{"qmsetup.ini", Script("", "FILES\r\n")}, {"a.txt", "a"}}, "QMSETUP.dat");
  HMODULE plain = ::LoadLibraryA((folder_ + "\\QMSETUP.").c_str());
  ASSERT_NE(plain, nullptr);
  MarkLog();
  EXPECT_EQ(reinterpret_cast<PackageFn>(::GetProcAddress(plain, "instMW_Install"))(""), 1);
  EXPECT_EQ(NewLogLines()[2], "Decompressing files form " + folder_ + "\\QMSETUP.dat to " + folder_ + "\\QMSETUP");
  ::FreeLibrary(plain);
}

TEST_F(MiddlewareTest, SecondProcessHoldingTheEngine) {
  Start(Script("", "FILES\r\n"));
  qmtest::FileHolder holder(folder_ + "\\QMSetup.dll", "load");  // another process has the engine loaded
  ASSERT_TRUE(holder.holding());
  Start(Script("", "FILES\r\n"));  // loaded again while the other process holds it: refused
  EXPECT_EQ(install_("KX2.dat"), 1);
  EXPECT_EQ(have_installed_("KX2.dat"), 5);
}

}  // namespace

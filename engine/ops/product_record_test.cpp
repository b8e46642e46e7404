// IsInstall, Finish and REGPRODUCT through the engine's exports, against the real registry.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "base/win/reg_key.h"
#include "qmsetup/results.h"
#include "tests/win/engine_fixture.h"
#include "tests/win/test_support.h"

namespace {

using Lines = std::vector<std::string>;

Lines Sorted(Lines lines) {
  std::sort(lines.begin(), lines.end());
  return lines;
}

const char kCompany[] = "3A9E5D10-QMSR-4F8B-A6D1-52E0C9B4F713_QM";
const char kProductA[] = "6F1C2E4A-3B7D-4C59-9E21-0A8B7D6C5E41_KX2";
const char kProductB[] = "0D2C4B6A-8F7E-4D3C-9B1A-2E3F4A5B6C7D_RX90";

std::string Script(const std::string& product, const std::string& version, const std::string& extra = "") {
  return "[FILES]\r\n[COMMON]\r\nVAR {PRODUCT_GUID} \"" + product + "\"\r\nVAR {COMPANY_GUID} \"" + kCompany +
         "\"\r\nVAR {PRODUCT_VER} \"" + version + "\"\r\n[reg]\r\nREGPRODUCT whatever\r\n" + extra;
}

class ProductRecordTest : public qmtest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    program_files_ = ProgramFiles();
    qmtest::DeleteTree(program_files_ + "\\qmsrv");
  }
  void TearDown() override {
    qmtest::DeleteTree(program_files_ + "\\qmsrv");
    EngineTest::TearDown();
  }
  static std::string ProgramFiles() {
    qm::RegKey key;
    std::string folder;
    key.Open(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", KEY_QUERY_VALUE);
    key.ReadString("ProgramFilesDir", &folder);
    return folder;
  }
  // A fresh engine with |script|, prepared; the restart marker of an earlier step is gone (as
  // after the restart it asked for).
  void Start(const std::string& script) {
    Unload();
    ::DeleteFileA(qmtest::MarkerPath().c_str());
    qmtest::DeleteTree(unpack_);
    Package({{"qmsetup.ini", script}});
    Load();
    ASSERT_EQ(engine_.prepare("KX2.dat"), 0);
    MarkLog();
  }
  // One install or removal as the front runs it; returns Finish's code.
  int Run(const char* product, const char* version, const char* mode, int expected_is_install = 0) {
    Start(Script(product, version));
    EXPECT_EQ(engine_.is_install(mode), expected_is_install);
    return engine_.finish();
  }
  static Lines Tree() { return qmtest::RegistryTree("Software\\QMSrv"); }
  std::string program_files_;
};

TEST_F(ProductRecordTest, TwoProductsOfOneMakerInstalledAndRemovedInTurn) {
  const std::string a = kProductA, b = kProductB, c = kCompany;
  ::CreateDirectoryA((program_files_ + "\\qmsrv").c_str(), nullptr);  // the product folder, empty
  struct Step {
    const char* product;
    const char* version;
    const char* mode;
    int finish;
    Lines tree;
  };
  const Step steps[] = {
      {kProductA, "1.0", "INSTALL", 0,
       {"|", "Product|" + a + "=DWORD:1", "Product|" + c + "=SZ:\"1033\"", "Product|Ref_" + c + "=DWORD:1",
        "Product\\" + a + "|PRODUCT_VER=SZ:\"1.0\""}},
      // The family exists already: this install asks for a restart.
      {kProductB, "2.0", "INSTALL", 12,
       {"|", "Product|" + a + "=DWORD:1", "Product|" + c + "=SZ:\"1033\"", "Product|Ref_" + c + "=DWORD:2",
        "Product|" + b + "=DWORD:1", "Product\\" + a + "|PRODUCT_VER=SZ:\"1.0\"",
        "Product\\" + b + "|PRODUCT_VER=SZ:\"2.0\""}},
      {kProductA, "1.0", "UNINSTALL", 0,
       {"|", "Product|" + c + "=SZ:\"1033\"", "Product|Ref_" + c + "=DWORD:1", "Product|" + b + "=DWORD:1",
        "Product\\" + b + "|PRODUCT_VER=SZ:\"2.0\""}},
      {kProductB, "2.0", "UNINSTALL", 0, {}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(std::string(step.mode) + " " + step.product);
    EXPECT_EQ(Run(step.product, step.version, step.mode), step.finish);
    EXPECT_EQ(Tree(), Sorted(step.tree));
  }
  EXPECT_FALSE(qmtest::RegistryKeyExists("Software\\QMSrv"));
  EXPECT_FALSE(qmtest::FileExists(program_files_ + "\\qmsrv")) << "the empty product folder goes with the last product";
}

TEST_F(ProductRecordTest, FinishLogLines) {
  ::SetEnvironmentVariableA("QM_UNUSED", nullptr);
  EXPECT_EQ(Run(kProductA, "1.0", "INSTALL"), 0);
  const std::string a = kProductA;
  EXPECT_EQ(NewLogLines(), (Lines{"====>Begin to INSTALL:", "====>Begin to Finish:", "====>This is INSTALL:",
                                  "Product is Software\\QMSrv\\Product\\" + a, "Product ver is 1.0",
                                  std::string("Company is ") + kCompany, "Finish.", "<====Ending to Finish:"}));
  EXPECT_EQ(Run(kProductA, "1.0", "UNINSTALL"), 0);
  const std::string folder = program_files_ + "\\qmsrv";
  EXPECT_EQ(NewLogLines(),
            (Lines{"====>Begin to UNINSTALL:", "Product is " + a, "<====Ending to UNINSTALL:", "====>Begin to Finish:",
                   "====>This is UNINSTALL:", "Delete Dir is: " + folder,
                   "Delete Dir is: " + folder + " LastErr:0x00000002", "Product is " + a, "Finish.",
                   "<====Ending to Finish:"}));
}

TEST_F(ProductRecordTest, CountsOnRemoval) {
  const std::string a = kProductA, c = kCompany;
  struct Row {
    const char* name;
    DWORD product_count;
    DWORD company_count;  // 0xFFFF: no company count
    Lines tree;
  };
  const Row rows[] = {
      {"three installs of the product", 3, 3,
       {"|", "Product|" + a + "=DWORD:2", "Product|" + c + "=SZ:\"2052\"", "Product|Ref_" + c + "=DWORD:2",
        "Product\\" + a + "|PRODUCT_VER=SZ:\"1.0\""}},
      {"stored counts of 0 are the last ones", 0, 0, {}},
      {"no company count", 1, 0xFFFF, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    {
      qm::RegKey products;
      ASSERT_EQ(products.Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Product"), ERROR_SUCCESS);
      products.WriteDword(kProductA, row.product_count);
      products.WriteString(kCompany, "2052");
      if (row.company_count != 0xFFFF) products.WriteDword(("Ref_" + c).c_str(), row.company_count);
      products.WriteString("KX_TIME", "left by another installer");
      qm::RegKey details;
      details.Create(HKEY_LOCAL_MACHINE, ("Software\\QMSrv\\Product\\" + a).c_str());
      details.WriteString("PRODUCT_VER", "1.0");
    }
    EXPECT_EQ(Run(kProductA, "1.0", "UNINSTALL"), 0);
    EXPECT_EQ(Tree(), Sorted(row.tree));
    qmtest::CleanEngineTraces();
  }
}

TEST_F(ProductRecordTest, UnreadableCountsAndMissingRecords) {
  {
    qm::RegKey products;
    ASSERT_EQ(products.Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Product"), ERROR_SUCCESS);
    const BYTE eight[8] = {1, 0, 0, 0, 0, 0, 0, 0};
    products.WriteRaw(kProductA, REG_BINARY, eight, sizeof(eight));  // longer than a count
  }
  Start(Script(kProductA, "1.0"));
  EXPECT_EQ(engine_.is_install("INSTALL"), 0) << "an unreadable count is no record";
  EXPECT_EQ(engine_.finish(), 13);
  EXPECT_EQ(engine_.do_step("reg"), 13);
  EXPECT_EQ(engine_.is_install("UNINSTALL"), 20);
  EXPECT_EQ(engine_.finish(), 20);

  qmtest::CleanEngineTraces();
  Start(Script(kProductA, "1.0"));
  EXPECT_EQ(engine_.finish(), 20) << "without IsInstall, Finish removes; nothing is recorded";
  EXPECT_EQ(engine_.is_install("install"), 2);
  EXPECT_EQ(engine_.finish(), 20) << "a refused mode leaves the mode as it was";
  EXPECT_FALSE(qmtest::RegistryKeyExists("Software\\QMSrv"));

  Start("[FILES]\r\n[COMMON]\r\nVAR {PRODUCT_GUID} \"x\"\r\nVAR {COMPANY_GUID} \"\"\r\n");
  EXPECT_EQ(engine_.finish(), 5);
  EXPECT_EQ(NewLogLines(), (Lines{"====>Begin to Finish:", "{COMPANY_GUID} is empty."}));
}

TEST_F(ProductRecordTest, RegProductRecordsOnlyTheProduct) {
  Start(Script(kProductA, "1.0"));
  EXPECT_EQ(engine_.do_step("reg"), 0);
  const std::string a = kProductA;
  EXPECT_EQ(Tree(), Sorted({"|", "Product|" + a + "=DWORD:1", "Product\\" + a + "|PRODUCT_VER=SZ:\"1.0\""}));
  EXPECT_EQ(NewLogLines(), (Lines{"====>Begin to DoStep:", "DoStep OneChapter is reg", "====>Begin Do_RegProduct:",
                                  "<====Ending Do_RegProduct:", "<====Ending to DoStep:"}));
  Start(Script(kProductA, "1.1"));
  EXPECT_EQ(engine_.do_step("reg"), 0);
  EXPECT_EQ(Tree(), Sorted({"|", "Product|" + a + "=DWORD:1", "Product\\" + a + "|PRODUCT_VER=SZ:\"1.1\""}))
      << "the count stays, the version is rewritten";
}

TEST_F(ProductRecordTest, RestartMarker) {
  // The family exists, so the install asks for a restart.
  qm::RegKey().Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv");
  EXPECT_EQ(Run(kProductA, "1.0", "INSTALL"), 12);
  EXPECT_TRUE(qmtest::FileExists(qmtest::MarkerPath()));
  EXPECT_EQ(qmtest::ReadFileBytes(qmtest::MarkerPath()), "");
  std::vector<std::string> pending = qmtest::PendingFileRenameOperations();
  EXPECT_NE(std::find(pending.begin(), pending.end(), "\\??\\" + qmtest::MarkerPath()), pending.end());
  Lines lines = NewLogLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(Lines(lines.end() - 3, lines.end()), (Lines{"System need reboot.", "Finish.", "<====Ending to Finish:"}));

  // A marker already there is kept as it is and scheduled again.
  Unload();
  ASSERT_TRUE(qmtest::WriteFileBytes(qmtest::MarkerPath(), "kept"));
  Load();
  ASSERT_EQ(engine_.prepare("KX2.dat"), 12);
  EXPECT_EQ(engine_.is_install("INSTALL"), 15);
  EXPECT_EQ(engine_.finish(), 12);
  EXPECT_EQ(qmtest::ReadFileBytes(qmtest::MarkerPath()), "kept");
}

// On each Windows version: the service settings made when the smart-card monitor is counted, and
// how the restart marker's deletion is scheduled.
TEST_F(ProductRecordTest, ServiceSettingsAndMarkerPerWindowsVersion) {
  const char kSlotKey[] = "SYSTEM\\CurrentControlSet\\Services\\qmSlotD";
  const char kCardKey[] = "SYSTEM\\CurrentControlSet\\Services\\SCardSvr";
  std::string saved_account;
  bool had_card_key = qmtest::RegistryKeyExists(kCardKey);
  {
    qm::RegKey card;
    card.Create(HKEY_LOCAL_MACHINE, kCardKey);
    card.ReadString("ObjectName", &saved_account);
  }
  struct Row {
    const char* version;
    bool depend;
    bool account;
    bool wininit;  // the marker is deleted through WININIT.INI
  };
  const Row rows[] = {{"win2k", true, false, false}, {"winxp", true, true, false}, {"vista", true, false, false},
                      {"win7", true, true, false},   {"win98", false, false, true}};
  const std::string wininit = qmtest::WindowsFolder() + "\\WININIT.INI";
  Package({{"qmsetup.ini", Script(kProductA, "1.0")}});
  Unload();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.version);
    qmtest::CleanEngineTraces();
    ::DeleteFileA(wininit.c_str());
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSlotKey);
    qm::RegKey().Create(HKEY_LOCAL_MACHINE, kSlotKey);
    { qm::RegKey card; card.Create(HKEY_LOCAL_MACHINE, kCardKey); card.DeleteValue("ObjectName"); }
    {
      qm::RegKey refs;  // the monitor is counted, and the family exists: a restart follows
      refs.Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Ref");
      refs.WriteDword((program_files_ + "\\qmsrv\\slotmon\\scardmon.dll").c_str(), 1);
    }
    EXPECT_EQ(qmtest::RunEngineAs(row.version, folder_ + "\\QMSetup.dll", "Prepare:KX2.dat|IsInstall:INSTALL|Finish"),
              "Prepare=0|IsInstall=0|Finish=12");
    EXPECT_EQ(qmtest::RegistryTree(kSlotKey),
              row.depend ? Lines{"|DependOnService=MULTI_SZ:\"SCardSvr\\0\\0\""} : Lines{"|"});
    qm::RegKey card;
    card.Open(HKEY_LOCAL_MACHINE, kCardKey, KEY_READ);
    std::string account;
    EXPECT_EQ(card.ReadString("ObjectName", &account) == ERROR_SUCCESS, row.account);
    const Lines card_tree = qmtest::RegistryTree(kCardKey);
    if (row.account) {
      EXPECT_NE(std::find(card_tree.begin(), card_tree.end(), "|ObjectName=SZ:\"NT AUTHORITY\\LocalService\""),
                card_tree.end());
    }
    if (row.account) {
      EXPECT_EQ(account, "NT AUTHORITY\\LocalService");
    }
    const std::string ini = qmtest::ReadFileBytes(wininit);
    EXPECT_EQ(ini.find("[rename]\r\nNUL=") != std::string::npos, row.wininit) << ini;
  }
  ::DeleteFileA(wininit.c_str());
  ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kSlotKey);
  qm::RegKey card;
  card.Open(HKEY_LOCAL_MACHINE, kCardKey, KEY_ALL_ACCESS);
  if (!saved_account.empty()) card.WriteString("ObjectName", saved_account);
  card.Close();
  if (!had_card_key) ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kCardKey);
}

QM_ENGINE_CHILD_TEST()

}  // namespace

// The engine driven through its exports, one fresh engine per test: codes and log lines.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>

#include "base/win/reg_key.h"
#include "qmsetup/results.h"
#include "tests/win/engine_fixture.h"
#include "tests/win/test_support.h"

namespace {

using qmtest::EngineLogLines;
using Lines = std::vector<std::string>;

const char kScript[] =
    "; test script\r\n"
    "[FILES]\r\n"
    "CHECK \"sub\\a.dll\"\r\n"
    "CHECK \"b.txt\"\r\n"
    "[COMMON]\r\n"
    "NAME=test product\r\n"
    "VAR {PRODUCT_GUID} \"11111111-2222-3333-4444-555555555555_TEST\"\r\n"
    "VAR {QMDIR} \"{PF}\\qmsrv\"\r\n"
    "DEF INSTALLERRSTOP \"FALSE\"\r\n"
    "[copy]\r\n"
    "CHECK \"b.txt\"\r\n"
    "[ACTLIST]\r\n"
    "CHECK \"b.txt\"\r\n"
    "[fails]\r\n"
    "CHECK \"b.txt\"\r\n"
    "CHECK \"missing.dll\"\r\n"
    "CHECK \"never looked at\"\r\n";

qmtest::PackageFiles Files(const std::string& script = kScript) {
  return {{"qmsetup.ini", script}, {"sub\\a.dll", "dll"}, {"b.txt", ""}};
}

class EngineApiTest : public qmtest::EngineTest {
 protected:
  Lines PrepareLines() const {
    return {"====>Begin to Prepare:",
            "Decompressing files...",
            "Decompressing files form " + folder_ + "\\KX2.dat to " + unpack_,
            "Decompressing files OK",
            "Check INI file...",
            "INI file is" + unpack_ + "\\qmsetup.ini"};
  }
  // Prepare's lines for the standard package up to the end of COMMON.
  Lines PreparedLines() const {
    Lines l = PrepareLines();
    l.push_back("Check " + unpack_ + "\\sub\\a.dll OK.");
    l.push_back("Check " + unpack_ + "\\b.txt OK.");
    l.push_back("Check INI file OK.");
    l.push_back("Check system states...");
    return l;
  }
  void PrepareStandard() {
    Package(Files());
    Load();
    ASSERT_EQ(engine_.prepare("KX2.dat"), 0);
    MarkLog();
  }
};

TEST_F(EngineApiTest, ExportsTheTenEntryPointsAtOrdinals1To10) {
  Load();
  std::vector<std::pair<std::string, WORD>> got;
  for (const auto& e : qmtest::ModuleExports(engine_.module)) got.push_back({e.name, e.ordinal});
  std::sort(got.begin(), got.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  const std::vector<std::pair<std::string, WORD>> expected = {
      {"Prepare", 1},        {"SetInstDir", 2},       {"DoStep", 3},
      {"Finish", 4},         {"IsInstall", 5},        {"SetLangID", 6},
      {"instMW_Install", 7}, {"instMW_Uninstall", 8}, {"instMW_IsHaveInstalled", 9},
      {"instMW_IsNeedReboot", 10}};
  EXPECT_EQ(got, expected);
}

TEST_F(EngineApiTest, PrepareUnpacksLoadsTheScriptAndRunsFilesAndCommon) {
  Package(Files());
  Load();
  ASSERT_EQ(engine_.prepare("KX2.dat"), 0);
  Lines expected = PreparedLines();
  expected.push_back("System states OK.");
  expected.push_back("<====Ending to Prepare:");
  EXPECT_EQ(NewLogLines(), expected);
  EXPECT_EQ(qmtest::ReadFileBytes(unpack_ + "\\sub\\a.dll"), "dll");
  EXPECT_EQ(qmtest::ReadFileBytes(unpack_ + "\\qmsetup.ini"), kScript);
}

struct PrepareFailure {
  const char* name;
  std::string script;  // empty: the package has no script
  int code;
  std::vector<std::string> tail;  // the lines after "INI file is..." (with {U} for the unpack folder)
};

TEST_F(EngineApiTest, PrepareFailuresStopWithTheirCodeAndLines) {
  const PrepareFailure rows[] = {
      {"no script in the package", "", 4, {"INI file not exist."}},
      {"only comments", "; nothing\r\n\r\n;[FILES]\r\n", 2, {"INI file data invalid."}},
      {"no FILES chapter", "[COMMON]\r\n", 3, {}},
      {"no COMMON chapter", "[FILES]\r\n", 3, {}},
      {"a CHECK fails in the middle of FILES",
       "[FILES]\r\nCHECK \"b.txt\"\r\nCHECK \"nope.dll\"\r\nCHECK \"sub\\a.dll\"\r\n[COMMON]\r\n",
       4,
       {"Check {U}\\b.txt OK.", "Check {U}\\nope.dll Not exist."}},
      {"FILES cannot use placeholders", "[FILES]\r\nCHECK \"{TMP}\\b.txt\"\r\n[COMMON]\r\n", 4,
       {"Check {U}\\{TMP}\\b.txt Not exist."}},
      {"unknown variable in COMMON", "[FILES]\r\n[COMMON]\r\nVAR {A} \"{NOPE}\\x\"\r\n", 5,
       {"Want to Get Common error :{NOPE} Not exist."}},
      {"CHECK without quotes", "[FILES]\r\nCHECK b.txt\r\n[COMMON]\r\n", 2,
       {"Check data invalid, a path in double quotes is needed: b.txt"}},
      {"a failing command in COMMON", "[FILES]\r\n[COMMON]\r\nCOPY \"a\", \"b\", UPDATE\r\n", 2,
       {"COPY target is relative to the current folder: b"}},
  };
  for (const PrepareFailure& row : rows) {
    SCOPED_TRACE(row.name);
    qmtest::PackageFiles files = {{"b.txt", ""}, {"sub\\a.dll", "x"}};
    if (!row.script.empty()) files.insert(files.begin(), {"qmsetup.ini", row.script});
    Package(files);
    MarkLog();
    Load();
    EXPECT_EQ(engine_.prepare("KX2.dat"), row.code);
    Lines expected = PrepareLines();
    for (std::string line : row.tail) {
      size_t at = line.find("{U}");
      if (at != std::string::npos) line.replace(at, 3, unpack_);
      expected.push_back(line);
    }
    EXPECT_EQ(NewLogLines(), expected);
    Unload();
    qmtest::DeleteTree(unpack_);
  }
}

TEST_F(EngineApiTest, UnpackFailuresAre11) {
  Load();
  EXPECT_EQ(engine_.prepare("KX2.dat"), 11) << "no package";
  Lines lines = NewLogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines.back(), "Decompressing files form " + folder_ + "\\KX2.dat to " + unpack_);

  ASSERT_TRUE(qmtest::WriteFileBytes(folder_ + "\\KX2.dat", "not a package at all"));
  EXPECT_EQ(engine_.prepare("KX2.dat"), 11) << "malformed package";

  MarkLog();
  EXPECT_EQ(engine_.prepare("KX2"), 11) << "a name without a dot";
  EXPECT_EQ(NewLogLines(), (Lines{"====>Begin to Prepare:", "Package name KX2 has no \".\"; no folder to unpack it into."}));
}

TEST_F(EngineApiTest, PendingRestartIs12AfterAllTheWork) {
  ASSERT_TRUE(qmtest::WriteFileBytes(qmtest::MarkerPath(), ""));
  Package(Files());
  Load();
  EXPECT_EQ(engine_.prepare("KX2.dat"), 12);
  Lines expected = PreparedLines();
  expected.push_back("System need reboot.");
  EXPECT_EQ(NewLogLines(), expected);
  EXPECT_EQ(engine_.do_step("copy"), 0) << "the script stays loaded";
}

TEST_F(EngineApiTest, SecondProcessIsRefusedWith18AndLogsNothing) {
  const std::string event = "qmtest_engine_held_" + std::to_string(::GetCurrentProcessId());
  qm::ScopedHandle ready(::CreateEventA(nullptr, TRUE, FALSE, event.c_str()));
  ::SetEnvironmentVariableA("QM_HOLD_ENGINE", (folder_ + "\\QMSetup.dll").c_str());
  ::SetEnvironmentVariableA("QM_HOLD_EVENT", event.c_str());
  std::string cmd = "\"" + qmtest::BinFolder() + "\\entry_points_test.exe\" --gtest_filter=EngineChild.HoldEngine";
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  qm::ScopedHandle child(pi.hProcess);
  ::CloseHandle(pi.hThread);
  ::SetEnvironmentVariableA("QM_HOLD_ENGINE", nullptr);
  HANDLE waits[] = {ready.get(), child.get()};
  ASSERT_EQ(::WaitForMultipleObjects(2, waits, FALSE, 20000), WAIT_OBJECT_0);

  Package(Files());
  Load();
  EXPECT_EQ(engine_.prepare("KX2.dat"), 18);
  EXPECT_EQ(engine_.prepare("KX2.dat"), 18);
  EXPECT_TRUE(NewLogLines().empty());
  EXPECT_FALSE(qmtest::FileExists(unpack_));
  ::TerminateProcess(child.get(), 0);
  ::WaitForSingleObject(child.get(), 10000);

  // Refused processes keep the marker too; only a fresh load after everyone let go proceeds.
  Unload();
  Load();
  EXPECT_EQ(engine_.prepare("KX2.dat"), 0);
}

// The child side of the test above: holds the engine loaded until it is killed.
TEST(EngineChild, HoldEngine) {
  const char* dll = std::getenv("QM_HOLD_ENGINE");
  if (!dll) GTEST_SKIP() << "child mode only";
  HMODULE engine = ::LoadLibraryA(dll);
  ASSERT_NE(engine, nullptr);
  qm::ScopedHandle ready(::OpenEventA(EVENT_MODIFY_STATE, FALSE, std::getenv("QM_HOLD_EVENT")));
  ::SetEvent(ready.get());
  ::Sleep(INFINITE);
}

TEST_F(EngineApiTest, SetInstDirAndSetLangIdLines) {
  Load();
  EXPECT_EQ(engine_.set_inst_dir(""), 2);
  EXPECT_EQ(engine_.set_inst_dir(std::string(260, 'x').c_str()), 2);
  EXPECT_EQ(engine_.set_inst_dir("C:\\dir"), 0);
  EXPECT_EQ(engine_.set_lang_id(""), 2);
  EXPECT_EQ(engine_.set_lang_id("4444"), 0);
  EXPECT_EQ(NewLogLines(), (Lines{"====>Begin to SetInstDir:", "SetInstDir Data invalid",
                                     "====>Begin to SetInstDir:",
                                     "SetInstDir folder is longer than 259 characters: " + std::string(260, 'x'),
                                     "====>Begin to SetInstDir:", "SetInstDir is C:\\dir", "<====Ending to SetInstDir:",
                                     "====>Begin to SetLangID:", "SetLangID Data invalid", "====>Begin to SetLangID:",
                                     "SetLangID is: 4444", "<====Ending to SetLangID."}));
}

TEST_F(EngineApiTest, DoStepResultsAndLines) {
  PrepareStandard();
  const std::string u = unpack_;
  struct Row {
    const char* chapter;
    int code;
    Lines after_begin;
  };
  const Row rows[] = {
      {"copy", 0, {"Check " + u + "\\b.txt OK.", "<====Ending to DoStep:"}},
      {"[ACTLIST]", 0, {}},  // the action-list headers run nothing and write no end line
      {"[UN.ACTLIST]", 0, {}},
      {"ACTLIST", 0, {"Check " + u + "\\b.txt OK.", "<====Ending to DoStep:"}},
      {"fails", 4, {"Check " + u + "\\b.txt OK.", "Check " + u + "\\missing.dll Not exist.", "Return Err:0x00000004"}},
      {"Copy", 3, {"Return Err:0x00000003"}},
      {"nowhere", 3, {"Return Err:0x00000003"}},
      {"", 2, {"Return Err:0x00000002"}},
  };
  for (const Row& row : rows) {
    MarkLog();
    EXPECT_EQ(engine_.do_step(row.chapter), row.code) << row.chapter;
    Lines expected = {"====>Begin to DoStep:", std::string("DoStep OneChapter is ") + row.chapter};
    expected.insert(expected.end(), row.after_begin.begin(), row.after_begin.end());
    EXPECT_EQ(NewLogLines(), expected) << row.chapter;
  }
}

TEST_F(EngineApiTest, DoStepBeforePrepareIs2) {
  Load();
  EXPECT_EQ(engine_.do_step("FILES"), 2);
  EXPECT_EQ(NewLogLines(), (Lines{"====>Begin to DoStep:", "DoStep OneChapter is FILES", "Return Err:0x00000002"}));
}

TEST_F(EngineApiTest, DispatcherMatchesKeywordsAtColumnZeroOnly) {
  const std::string script = std::string(kScript) +
                             "[keywords]\r\n"
                             " CHECK \"missing\"\r\n"
                             "\tCHECK \"missing\"\r\n"
                             "check \"missing\"\r\n"
                             "CHECKS \"missing\"\r\n"
                             "NAME=whatever\r\n"
                             "DEF SOMETHING \"ELSE\"\r\n"
                             "DEF INSTALLERRSTOP \"maybe\"\r\n"
                             "CHECK \"C:\\windows\"\r\n"
                             "[copyif]\r\nCOPYIF \"a\", \"b\", ADD_REF_COUNT\r\n"
                             "[runif]\r\nRUNIF \"a\"\r\n"
                             "[callif]\r\nCALLIF \"a\"\r\n"
                             "[regproduct]\r\nREGPRODUCT \"a\"\r\n";
  Package(Files(script));
  Load();
  ASSERT_EQ(engine_.prepare("KX2.dat"), 0);
  MarkLog();
  EXPECT_EQ(engine_.do_step("keywords"), 0);
  EXPECT_EQ(NewLogLines(), (Lines{"====>Begin to DoStep:", "DoStep OneChapter is keywords", "Check C:\\windows OK.",
                                     "<====Ending to DoStep:"}));
  // The longer keywords reach their own handlers, never the shorter keyword's.
  const std::pair<const char*, const char*> first_lines[] = {
      {"copyif", "COPYIF target is relative to the current folder: b"},
      {"runif", "RUNIF data invalid"},
      {"callif", "CALLIF data invalid"},
      {"regproduct", "====>Begin Do_RegProduct:"}};
  for (const auto& row : first_lines) {
    MarkLog();
    engine_.do_step(row.first);
    Lines lines = NewLogLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[2].find(row.second), 0u) << lines[2];
  }
}

TEST_F(EngineApiTest, CheckPathsThatDoNotFitAreRefused) {
  const std::string long_name(250, 'n');
  Package(Files(std::string(kScript) + "[long]\r\nCHECK \"" + long_name + "\"\r\n"));
  Load();
  ASSERT_EQ(engine_.prepare("KX2.dat"), 0);
  MarkLog();
  EXPECT_EQ(engine_.do_step("long"), 2);
  EXPECT_EQ(NewLogLines()[2], "Check path is longer than 259 characters: " + unpack_ + "\\" + long_name);
}

TEST_F(EngineApiTest, LoadUnloadCyclesLeaveMemoryAndHandlesLevel) {
  // A large script makes a leak of the state or the log writer show at once.
  std::string script = kScript;
  for (int i = 0; i < 4000; ++i) script += "VAR {V" + std::to_string(i) + "} \"" + std::string(40, 'v') + "\"\r\n";
  Package(Files(script));
  auto cycle = [&] {
    Load();
    ASSERT_EQ(engine_.prepare("KX2.dat"), 0);
    Unload();
  };
  for (int i = 0; i < 10; ++i) cycle();  // warm-up: the heap and the loader settle
  const qmtest::ProcessCounters before = qmtest::ReadProcessCounters();
  for (int i = 0; i < 60; ++i) cycle();
  const qmtest::ProcessCounters after = qmtest::ReadProcessCounters();
  EXPECT_LT(after.private_bytes, before.private_bytes + 256 * 1024)
      << "private bytes " << before.private_bytes << " -> " << after.private_bytes;
  EXPECT_LE(after.handles, before.handles) << "handles " << before.handles << " -> " << after.handles;
}

class EngineIsInstallTest : public EngineApiTest {
 protected:
  void Record(const char* product) {
    qm::RegKey key;
    ASSERT_EQ(key.Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Product"), ERROR_SUCCESS);
    key.WriteDword(product, 1);
  }
};

TEST_F(EngineIsInstallTest, ModesAgainstTheProductRecord) {
  const std::string guid = "11111111-2222-3333-4444-555555555555_TEST";
  PrepareStandard();
  EXPECT_EQ(engine_.is_install("INSTALL"), 0);
  EXPECT_EQ(engine_.is_install("UNINSTALL"), 20);
  EXPECT_EQ(engine_.is_install("install"), 2);
  EXPECT_EQ(NewLogLines(), (Lines{"====>Begin to INSTALL:", "====>Begin to UNINSTALL:",
                                  "IsInstall mode must be INSTALL or UNINSTALL: install"}));

  Record(guid.c_str());
  MarkLog();
  EXPECT_EQ(engine_.is_install("INSTALL"), 15);
  EXPECT_EQ(engine_.is_install("UNINSTALL"), 0);
  EXPECT_EQ(NewLogLines(),
            (Lines{"====>Begin to INSTALL:", "The INSTALL Need Reboot!!!", "Product have already install is " + guid,
                   "<====Ending to INSTALL:", "====>Begin to UNINSTALL:", "Product is " + guid, "<====Ending to UNINSTALL:"}));
}

TEST_F(EngineIsInstallTest, NoProductIdentifierIs5) {
  Package(Files("[FILES]\r\n[COMMON]\r\n"));
  Load();
  ASSERT_EQ(engine_.prepare("KX2.dat"), 0);
  MarkLog();
  EXPECT_EQ(engine_.is_install("INSTALL"), 5);
  EXPECT_EQ(NewLogLines(), (Lines{"Want to Get Common error :{PRODUCT_GUID} Not exist."}));
}

}  // namespace

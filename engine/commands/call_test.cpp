// CALL and CALLIF through DoStep, with a library that records what it was called with.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "base/win/reg_key.h"
#include "tests/win/file_command_fixture.h"
#include "tests/win/test_support.h"

namespace {

using qmtest::Lines;

class CallTest : public qmtest::FileCommandTest {
 protected:
  void SetUp() override {
    FileCommandTest::SetUp();
    record_ = folder_ + "\\record.txt";
    ::SetEnvironmentVariableA("QM_RECORD_FILE", record_.c_str());
    library_ = dest_ + "\\record_call.dll";
    ASSERT_TRUE(::CopyFileA((qmtest::BinFolder() + "\\record_call.dll").c_str(), library_.c_str(), FALSE));
    ASSERT_TRUE(qmtest::WriteFileBytes(dest_ + "\\not_a_library.dll", "text"));
  }
  void TearDown() override {
    ::SetEnvironmentVariableA("QM_RECORD_FILE", nullptr);
    ::SetEnvironmentVariableA("QM_CALL_RESULT", nullptr);
    FileCommandTest::TearDown();
  }
  Lines Recorded() const { return qmtest::Split(qmtest::ReadFileBytes(record_), "\n"); }
  std::string Described(const std::string& function, const std::string& parameter) const {
    return "Call dll " + library_ + " Funcation " + function + " Param " + parameter;
  }
  std::string record_;
  std::string library_;
};

TEST_F(CallTest, LinesCodesAndParameters) {
  struct Row {
    const char* line;
    const char* result;  // what the function returns
    int code;
    Lines log;  // {B}: the begin line's prefix "Call dll <library> Funcation Record Param "
    const char* recorded;
  };
  const Row rows[] = {
      {"CALL \"{DEST}\\record_call.dll\", Record, \"1;{DEST}\"", "0", 0, {"{B}1;{D} Begin.", "{B}1;{D} OK."}, "1;{D}#1"},
      {"CALL \"{DEST}\\record_call.dll\", Record, \"\"i\";\"{DEST}\\x.dll\";\"a b\"\"", "0", 0,
       {"{B}\"i\";\"{D}\\x.dll\";\"a b\" Begin.", "{B}\"i\";\"{D}\\x.dll\";\"a b\" OK."}, "\"i\";\"{D}\\x.dll\";\"a b\"#1"},
      {"CALL \"{DEST}\\record_call.dll\",  Rec ord , \"\"", "0", 0, {"{B} Begin.", "{B} OK."}, "#1"},
      {"CALL \"{DEST}\\record_call.dll\", Record, \"x\"", "42", 42, {"{B}x Begin.", "Call dll Function Err!"}, "x#1"},
      {"CALL \"{DEST}\\record_call.dll\", CdeclRecord, \"c\"", "0", 0,
       {"Call dll {L} Funcation CdeclRecord Param c Begin.", "Call dll {L} Funcation CdeclRecord Param c OK."}, "c#1"},
      {"CALL \"{DEST}\\record_call.dll\", Missing, \"x\"", "0", 9,
       {"Call dll {L} Funcation Missing Param x Begin.", "Call dll GetProcAddress Err"}, ""},
      {"CALL \"{DEST}\\not_a_library.dll\", Record, \"x\"", "0", 8,
       {"Call dll {D}\\not_a_library.dll Funcation Record Param x Begin.", "Call dll LoadLibrary Err"}, ""},
      {"CALL \"{DEST}\\missing.dll\", Record, \"x\"", "0", 4,
       {"Call dll {D}\\missing.dll Funcation Record Param x Begin."}, ""},
      {"CALL \"C:\\{DEST}\\record_call.dll\", Record, \"x\"", "0", 4,
       {"Call dll C:\\{DEST}\\record_call.dll Funcation Record Param x Begin."}, ""},  // used as written
      {"CALL \"{DEST}\\record_call.dll\", Record, \"{NOPE}\"", "0", 5, {"Want to Get Common error :{NOPE} Not exist."}, ""},
      {"CALL \"{DEST}\\record_call.dll\" Record \"x\"", "0", 2,
       {"CALL data invalid, a library in double quotes, a function and a parameter in double quotes are needed: "
        "\"{DEST}\\record_call.dll\" Record \"x\""}, ""},
  };
  std::string chapters;
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    chapters += "[row" + std::to_string(i) + "]\r\n" + rows[i].line + "\r\n";
  Prepare(chapters, {});
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.line);
    ::DeleteFileA(record_.c_str());
    ::SetEnvironmentVariableA("QM_CALL_RESULT", row.result);
    EXPECT_EQ(Step("row" + std::to_string(i)), row.code);
    Lines expected;
    for (std::string line : row.log) {
      for (const auto& kv : {std::make_pair(std::string("{B}"), Described("Record", "")),
                             std::make_pair(std::string("{L}"), library_), std::make_pair(std::string("{D}"), dest_)})
        for (size_t at; (at = line.find(kv.first)) != std::string::npos;) line.replace(at, 3, kv.second);
      expected.push_back(line);
    }
    EXPECT_EQ(Body(), expected);
    std::string recorded = row.recorded;
    for (size_t at; (at = recorded.find("{D}")) != std::string::npos;) recorded.replace(at, 3, dest_);
    EXPECT_EQ(Recorded(), recorded.empty() ? Lines{} : Lines{recorded});
    EXPECT_EQ(::GetModuleHandleA(library_.c_str()), nullptr) << "released when the chapter ends";
  }
}

// The library the existence test found in the current folder is the one loaded, not one of the
// same name in the host's folder, which LoadLibrary would look in first.
TEST_F(CallTest, RelativeLibraryIsTheOneInTheCurrentFolder) {
  DecoyInHostFolder("qm_decoy.dll", qmtest::ReadFileBytes(qmtest::BinFolder() + "\\record_call.dll"));
  Prepare("[relative]\r\nCALL \"qm_decoy.dll\", Record, \"r\"\r\n", {});
  EXPECT_EQ(Step("relative"), 0);
  EXPECT_EQ(Recorded(), (Lines{"r#1"}));
}

TEST_F(CallTest, LibrariesStayLoadedUntilTheChapterEnds) {
  Prepare("[two]\r\nCALL \"{DEST}\\record_call.dll\", Record, \"a\"\r\nCALL \"{DEST}\\record_call.dll\", Record, \"b\"\r\n"
          "[one]\r\nCALL \"{DEST}\\record_call.dll\", Record, \"c\"\r\n",
          {});
  EXPECT_EQ(Step("two"), 0);
  EXPECT_EQ(Step("one"), 0);
  EXPECT_EQ(Recorded(), (Lines{"a#1", "b#2", "c#1"})) << "one load across a chapter, a fresh one for the next";
}

TEST_F(CallTest, DriverChapterTurnsOneIntoARestart) {
  Prepare("[Install_Driver]\r\nCALL \"{DEST}\\record_call.dll\", Record, \"drv\"\r\nCHECK \"not reached\"\r\n", {});
  ::SetEnvironmentVariableA("QM_CALL_RESULT", "1");
  EXPECT_EQ(Step("Install_Driver"), 0);
  Lines lines = NewLogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(Lines(lines.end() - 2, lines.end()), (Lines{"Install_Driver Need Reboot system.", "<====Ending to DoStep:"}));
  EXPECT_EQ(FinishCode(), 12);
}

TEST_F(CallTest, CallIfCallsOnlyForTheLastUser) {
  Prepare("[callif]\r\nCALLIF \"{DEST}\\record_call.dll\", Record, \"u\"\r\n"
          "[fails]\r\nCALLIF \"{DEST}\\record_call.dll\", Missing, \"u\"\r\n"
          "[missing]\r\nCALLIF \"{DEST}\\missing.dll\", Record, \"u\"\r\n",
          {});
  struct Row {
    int count;  // -1: none recorded
    bool calls;
  };
  for (const Row& row : {Row{2, false}, Row{1, true}, Row{-1, true}}) {
    SCOPED_TRACE(row.count);
    StoreCount(library_, row.count, true);
    ::DeleteFileA(record_.c_str());
    EXPECT_EQ(Step("callif"), 0);
    Lines expected = {library_ + " nCount is " + std::to_string(row.count < 0 ? 0 : row.count) + "."};
    if (row.calls) expected.push_back(Described("Record", "u") + " OK.");
    EXPECT_EQ(Body(), expected);
    EXPECT_EQ(Recorded().size(), row.calls ? 1u : 0u);
  }
  EXPECT_EQ(Step("fails"), 9);
  EXPECT_EQ(Body(), (Lines{library_ + " nCount is 0."})) << "CALLIF logs no error lines";
  EXPECT_EQ(Step("missing"), 4);
  EXPECT_EQ(Body(), Lines{});
}

}  // namespace

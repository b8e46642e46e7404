// RUN and RUNIF through DoStep, with a program that records how it was started.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "base/win/reg_key.h"
#include "tests/win/file_command_fixture.h"
#include "tests/win/test_support.h"

namespace {

using qmtest::Lines;

class RunTest : public qmtest::FileCommandTest {
 protected:
  void SetUp() override {
    FileCommandTest::SetUp();
    record_ = folder_ + "\\record.txt";
    ::SetEnvironmentVariableA("QM_RECORD_FILE", record_.c_str());
    // One copy below a folder whose name has a blank, as under Program Files.
    program_ = dest_ + "\\with blank\\rec.exe";
    ::CreateDirectoryA((dest_ + "\\with blank").c_str(), nullptr);
    ASSERT_TRUE(::CopyFileA((qmtest::BinFolder() + "\\record_args.exe").c_str(), program_.c_str(), FALSE));
  }
  void TearDown() override {
    for (const char* v : {"QM_RECORD_FILE", "QM_RECORD_SLEEP_MS", "QM_RECORD_EXIT"}) ::SetEnvironmentVariableA(v, nullptr);
    FileCommandTest::TearDown();
  }
  Lines Recorded() const { return qmtest::Split(qmtest::ReadFileBytes(record_), "\n"); }
  std::string record_;
  std::string program_;
};

TEST_F(RunTest, LinesCodesAndCommandLines) {
  struct Row {
    const char* line;
    int code;
    const char* log;       // {P}: the program, quoted
    const char* recorded;  // the command line the program saw, or "" when it did not run
  };
  const Row rows[] = {
      {"RUN \"{DEST}\\with blank\\rec.exe\", \"-i -s\", WAIT", 0, "Run {P} -i -s OK./WAIT", "{P} -i -s"},
      {"RUN \"{DEST}\\with blank\\rec.exe\", \"\",  NOWAIT ", 0, "Run {P}  OK./NOWAIT", "{P} "},
      {"RUN \"{DEST}\\with blank\\rec.exe\", \"{TMP}\", WAIT", 0, "Run {P} {U} OK./WAIT", "{P} {U}"},
      {"RUN \"{DEST}\\missing.exe\", \"-i\", WAIT", 4, "Run {D}\\missing.exe Not exist.", ""},
      {"RUN \"{DEST}\\with blank\\rec.exe\", \"-i\", wait", 2, "Run wait flag must be WAIT or NOWAIT: wait", ""},
      {"RUN \"{DEST}\\with blank\\rec.exe\", \"-i\",\tWAIT", 2, "Run wait flag must be WAIT or NOWAIT: \tWAIT", ""},
      {"RUN \"{DEST}\\with blank\\rec.exe\", \"{NOPE}\", WAIT", 5, "Want to Get Common error :{NOPE} Not exist.", ""},
      {"RUN \"{DEST}\\with blank\\rec.exe\" \"-i\" WAIT", 2, "RUN data invalid, a program and parameters in double quotes", ""},
      {"RUN \"C:\\{x}\\rec.exe\", \"-i\", WAIT", 4, "Run C:\\{x}\\rec.exe Not exist.", ""},  // used as written
  };
  std::string chapters;
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    chapters += "[row" + std::to_string(i) + "]\r\n" + rows[i].line + "\r\n";
  const std::string too_long = "RUN \"{DEST}\\with blank\\rec.exe\", \"" + std::string(250, 'p') + "\", WAIT";
  chapters += "[long]\r\n" + too_long + "\r\n";
  Prepare(chapters, {});
  const std::string quoted = "\"" + program_ + "\"";
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.line);
    ::DeleteFileA(record_.c_str());
    EXPECT_EQ(Step("row" + std::to_string(i)), row.code);
    ::Sleep(std::string(row.line).find("NOWAIT") != std::string::npos ? 500 : 0);
    Lines body = Body();
    ASSERT_EQ(body.size(), 1u);
    auto fill = [&](std::string text) {
      for (const auto& kv : {std::make_pair("{P}", quoted), std::make_pair("{U}", unpack_), std::make_pair("{D}", dest_)})
        for (size_t at; (at = text.find(kv.first)) != std::string::npos;) text.replace(at, 3, kv.second);
      return text;
    };
    EXPECT_EQ(body[0].find(fill(row.log)), 0u) << body[0];
    EXPECT_EQ(Recorded(), *row.recorded ? Lines{fill(row.recorded)} : Lines{});
  }
  EXPECT_EQ(Step("long"), 2);
  EXPECT_EQ(Body()[0].find("Run command line is longer than 259 characters: "), 0u);
}

// The program the existence test found in the current folder is the one started, not one of the
// same name in the host's folder, which CreateProcess would look in first.
TEST_F(RunTest, RelativeProgramIsTheOneInTheCurrentFolder) {
  DecoyInHostFolder("qm_decoy.exe", qmtest::ReadFileBytes(qmtest::BinFolder() + "\\record_args.exe"));
  Prepare("[relative]\r\nRUN \"qm_decoy.exe\", \"-r\", WAIT\r\n", {});
  EXPECT_EQ(Step("relative"), 0);
  EXPECT_EQ(Body(), (Lines{"Run qm_decoy.exe -r OK./WAIT"}));
  EXPECT_EQ(Recorded(), (Lines{"qm_decoy.exe -r"}));
}

TEST_F(RunTest, WaitBlocksAndNoWaitDoesNot) {
  Prepare("[wait]\r\nRUN \"{DEST}\\with blank\\rec.exe\", \"w\", WAIT\r\n"
          "[nowait]\r\nRUN \"{DEST}\\with blank\\rec.exe\", \"n\", NOWAIT\r\n",
          {});
  ::SetEnvironmentVariableA("QM_RECORD_SLEEP_MS", "1500");
  ::SetEnvironmentVariableA("QM_RECORD_EXIT", "3");  // the exit code is not read
  DWORD start = ::GetTickCount();
  EXPECT_EQ(Step("wait"), 0);
  EXPECT_GE(::GetTickCount() - start, 1500u + 500u) << "the program's run and the settling pause";
  start = ::GetTickCount();
  EXPECT_EQ(Step("nowait"), 0);
  EXPECT_LT(::GetTickCount() - start, 1000u);
  ::Sleep(2000);
  EXPECT_EQ(Recorded().size(), 2u);
}

TEST_F(RunTest, RunIfRunsOnlyForTheLastUser) {
  Prepare("[runif]\r\nRUNIF \"{DEST}\\with blank\\rec.exe\", \"-u\", WAIT\r\n", {});
  struct Row {
    int count;  // -1: none recorded
    bool runs;
  };
  for (const Row& row : {Row{2, false}, Row{1, true}, Row{-1, true}}) {
    SCOPED_TRACE(row.count);
    StoreCount(program_, row.count, true);
    ::DeleteFileA(record_.c_str());
    EXPECT_EQ(Step("runif"), 0);
    Lines expected = {program_ + " nCount is " + std::to_string(row.count < 0 ? 0 : row.count) + "."};
    if (row.runs) expected.push_back("Run \"" + program_ + "\" -u OK./WAIT");
    EXPECT_EQ(Body(), expected);
    EXPECT_EQ(Recorded().size(), row.runs ? 1u : 0u);
  }
}

}  // namespace

#include "tools/qmpack/script_check.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Messages(const std::string& script, const std::vector<std::string>& package = {"qmsetup.ini", "a.dll", "sub\\b.txt"}) {
  std::vector<std::string> out;
  for (const qm::ScriptFinding& f : qm::ScriptCheck(script, package)) out.push_back(std::to_string(f.line) + ": " + f.message);
  return out;
}

const std::string kHead = "[FILES]\r\nCHECK \"a.dll\"\r\n[COMMON]\r\nVAR {Q} \"{PF}\\q\"\r\n";

TEST(ScriptCheck, CleanScript) {
  EXPECT_EQ(Messages(kHead + "; comment\r\n[copy]\r\nCOPY \"{TMP}\\sub\\b.txt\", \"{Q}\\b.txt\", UPDATE | ADD_REF_COUNT\r\n"
                             "RUN \"{Q}\\x.exe\", \"-i\", WAIT\r\nCALL \"{TMP}\\a.dll\", Fn, \"\"x\";\"{Q}\"\"\r\n"
                             "DEL \"{Q}\\b.txt\", CHECK_REF_COUNT\r\n[ACTLIST]\r\nFILES\r\ncopy\r\n"),
            std::vector<std::string>{});
}

TEST(ScriptCheck, Findings) {
  struct Row {
    std::string body;  // after kHead
    std::string finding;
  };
  const Row rows[] = {
      {"[x]\r\nCHECK \"missing.dll\"\r\n", "6: CHECK names missing.dll, which is not in the package"},
      {"[x]\r\nCHECK \"{TMP}\\a.dll\"\r\n", "6: CHECK does not expand placeholders: it looks for a file named {TMP}\\a.dll literally"},
      {"[ACTLIST]\r\nFILES\r\nnowhere\r\n", "7: action list names no chapter \"nowhere\""},
      {"[x]\r\nCOPY \"{TMP}\\a.dll\", \"{NOPE}\\a.dll\", UPDATE\r\n", "6: placeholder {NOPE} is not defined by a VAR before it is used"},
      {"VAR {R} \"{S}\\x\"\r\nVAR {S} \"y\"\r\n", "5: placeholder {S} is not defined by a VAR before it is used"},
      {"VAR {I} \"{INSTDIR}x\"\r\n", "5: {INSTDIR} is not defined while COMMON runs (the host sets it later)"},
      {"[x]\r\nCOPYY \"a\"\r\n", "6: \"COPYY\" is no command; the line is passed over"},
      {"[x]\r\nCOPY\t\"a\", \"b\", UPDATE\r\n", "6: COPY must be followed by one blank; the line is passed over"},
      {"[x]\r\nCOPY \"{TMP}\\a.dll\" \"{Q}\\a.dll\" UPDATE\r\n", "6: COPY needs a source and a target in double quotes, separated by a comma"},
      {"[x]\r\nCOPY \"{TMP}\\a.dll\", \"{Q}\\a.dll\", update\r\n", "6: COPY has no flag (UPDATE, OVERWRITE, ADD_REF_COUNT): it copies nothing"},
      {"[x]\r\nCOPY \"{TMP}\\gone.dll\", \"{Q}\\a.dll\", UPDATE\r\n", "6: source {TMP}\\gone.dll is not in the package"},
      {"[x]\r\nDEL \"{Q}\\a.dll\", CHECK_REFCOUNT\r\n", "6: DEL has no option CHECK_REF_COUNT or FORCE: it deletes nothing"},
      {"[x]\r\nRUN \"{Q}\\a.exe\", \"-i\", wait\r\n", "6: RUN ends in \"wait\", not WAIT or NOWAIT: it fails with 2"},
      {"[x]\r\nCALL \"{TMP}\\a.dll\", Fn\r\n", "6: CALL needs a library in double quotes, a function and a parameter in double quotes"},
      {"DEF INSTALLERRSTOP \"true\"\r\n", "5: DEF INSTALLERRSTOP takes \"TRUE\" or \"FALSE\"; \"true\" changes nothing"},
      {"[COMMON]\r\n", "5: chapter \"COMMON\" is named before; this one is ignored"},
  };
  for (const Row& row : rows) EXPECT_EQ(Messages(kHead + row.body), std::vector<std::string>{row.finding}) << row.body;
}

TEST(ScriptCheck, WholeScript) {
  EXPECT_EQ(Messages("; only comments\r\n\r\n"), std::vector<std::string>{"0: the script has no chapter: the engine refuses it"});
  EXPECT_EQ(Messages("stray\r\n[FILES]\r\nCHECK \"{PF}\"\r\n"),
            (std::vector<std::string>{"0: no chapter \"COMMON\": Prepare fails", "1: line before the first chapter is ignored",
                                      "3: CHECK does not expand placeholders: it looks for a file named {PF} literally"}));
}

}  // namespace

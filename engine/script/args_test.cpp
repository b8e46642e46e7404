#include "engine/script/args.h"

#include <gtest/gtest.h>

namespace {

using Rule = bool (*)(const std::string&, std::string*);

struct ArgCase {
  const char* rule_name;
  Rule rule;
  const char* text;
  bool found;
  const char* expected;
};

TEST(Args, Rules) {
  const ArgCase rows[] = {
      {"first", qm::ArgsFirstQuoted, R"( "{TMP}\a.dll", "{SYSDIR}\a.dll", UPDATE)", true, R"({TMP}\a.dll)"},
      {"first", qm::ArgsFirstQuoted, R"( "" , "x")", true, ""},
      {"first", qm::ArgsFirstQuoted, R"( "unclosed)", false, ""},
      {"first", qm::ArgsFirstQuoted, " no quotes", false, ""},
      {"second", qm::ArgsSecondQuoted, R"( "a" , "b c" ,FLAG)", true, "b c"},
      {"second", qm::ArgsSecondQuoted, R"( "a,x", "b")", true, ", "},  // starts after the first comma anywhere
      {"second", qm::ArgsSecondQuoted, R"( "a" "b")", false, ""},
      {"second", qm::ArgsSecondQuoted, R"( "a", b)", false, ""},
      {"outer", qm::ArgsOuterQuoted, R"( {V} ""a";"b"")", true, R"("a";"b")"},
      {"outer", qm::ArgsOuterQuoted, R"( {V} "x")", true, "x"},
      {"outer", qm::ArgsOuterQuoted, R"( {V} "x)", false, ""},
      {"flag", qm::ArgsFlagField, R"( "a", "b",  UPDATE | ADD_REF_COUNT )", true, "UPDATE|ADD_REF_COUNT"},
      {"flag", qm::ArgsFlagField, R"( "a", "b",)", true, ""},
      {"flag", qm::ArgsFlagField, R"( "a")", false, ""},
      {"name", qm::ArgsPlaceholderName, R"( {QMDIR} "{PF}\qmsrv")", true, "{QMDIR}"},
      {"name", qm::ArgsPlaceholderName, " {open", false, ""},
      {"name", qm::ArgsPlaceholderName, " none", false, ""},
  };
  for (const ArgCase& c : rows) {
    std::string out = "untouched";
    EXPECT_EQ(c.rule(c.text, &out), c.found) << c.rule_name << ": " << c.text;
    EXPECT_EQ(out, c.found ? c.expected : "untouched") << c.rule_name << ": " << c.text;
  }
}

}  // namespace

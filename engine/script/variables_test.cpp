#include "engine/script/variables.h"

#include <gtest/gtest.h>

#include "engine/commands/commands.h"
#include "tests/native/fake_system.h"
#include "tests/native/test_log_sink.h"

namespace {

class VariablesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qmtest::TakeLogLines();
    qm::VariablesDefine(table_, "{PF}", "C:\\Program Files");
    qm::VariablesDefine(table_, "{TMP}", "C:\\stage\\KX2");
    qm::VariablesDefine(table_, "{INSTDIR}", "C:\\dir\\");
  }
  // A VAR line with these arguments, run as the engine runs it.
  int Var(const std::string& arguments) {
    qm::CommandRecord record;
    EXPECT_TRUE(qm::GrammarParse("VAR" + arguments, 1, &record));
    qmtest::FakeSystem system;
    qm::CommandEffects effects;
    const std::string folder;
    const qm::CommandContext context{folder, folder, table_, effects, qm::LogGetWriter(), system};
    return qm::ToInt(qm::ExecuteVar(context, record));
  }
  qm::VariableTable table_;
};

TEST_F(VariablesTest, FirstDefinitionHolds) {
  EXPECT_EQ(Var(R"( {A} "x")"), 0);
  EXPECT_EQ(Var(R"( {A} "y")"), 0);
  EXPECT_EQ(table_.at("{A}"), "x");
  EXPECT_TRUE(qmtest::TakeLogLines().empty());
}

TEST_F(VariablesTest, Expansion) {
  const std::pair<const char*, const char*> rows[] = {
      {"{TMP}\\sub\\f.dll", "C:\\stage\\KX2\\sub\\f.dll"},
      {"{INSTDIR}f.dll", "C:\\dir\\f.dll"},
      {"{PF}\\a;{TMP}\\b", "C:\\Program Files\\a;C:\\stage\\KX2\\b"},
      {"no braces", "no braces"},
      {"", ""},
      {"a}b{c}", "a}b{c}"},  // a "}" before the first "{" stops expansion
      {"open { only", "open { only"},
  };
  for (const auto& row : rows) {
    std::string text = row.first;
    EXPECT_EQ(qm::ToInt(qm::VariablesExpand(table_, &text)), 0) << row.first;
    EXPECT_EQ(text, row.second);
  }
}

TEST_F(VariablesTest, UnknownNameFailsWith5AndSaysSo) {
  for (const char* text : {"{pf}\\x", "{A}\\z", "{PF}\\{NOPE}"}) {
    std::string t = text;
    EXPECT_EQ(qm::ToInt(qm::VariablesExpand(table_, &t)), 5) << text;
  }
  EXPECT_EQ(qmtest::TakeLogLines(), (std::vector<std::string>{"Want to Get Common error :{pf} Not exist.",
                                                               "Want to Get Common error :{A} Not exist.",
                                                               "Want to Get Common error :{NOPE} Not exist."}));
}

TEST_F(VariablesTest, VarStoresExpandedValuesAndKeepsInnerQuotes) {
  EXPECT_EQ(Var(R"( {QMDIR} "{PF}\qmsrv")"), 0);
  EXPECT_EQ(table_.at("{QMDIR}"), "C:\\Program Files\\qmsrv");
  EXPECT_EQ(Var(R"( {DEP} ""a";"b"")"), 0);
  EXPECT_EQ(table_.at("{DEP}"), R"("a";"b")");
  EXPECT_EQ(Var(R"( {LATER} "{QMDIR}\bin")"), 0);
  EXPECT_EQ(table_.at("{LATER}"), "C:\\Program Files\\qmsrv\\bin");
}

TEST_F(VariablesTest, VarFailuresDefineNothing) {
  EXPECT_EQ(Var(R"( {B} "{A}\z")"), 5);
  EXPECT_EQ(table_.count("{B}"), 0u);
  EXPECT_EQ(qmtest::TakeLogLines(), (std::vector<std::string>{"Want to Get Common error :{A} Not exist."}));
  for (const char* bad : {R"( B "x")", R"( {B} x)", R"( {B} "x)", " {B"}) {
    EXPECT_EQ(Var(bad), 2) << bad;
    EXPECT_EQ(qmtest::TakeLogLines().size(), 1u) << bad;
  }
  EXPECT_EQ(table_.count("{B}"), 0u);
}

TEST_F(VariablesTest, SelfReferenceStopsWith5) {
  qm::VariablesDefine(table_, "{LOOP}", "x{LOOP}");
  qm::VariablesDefine(table_, "{PING}", "{PONG}");
  qm::VariablesDefine(table_, "{PONG}", "{PING}");
  qm::VariablesDefine(table_, "{BIG}", "0123456789012345678901234567890123456789{BIG}{BIG}");
  for (const char* text : {"{LOOP}", "{PING}", "{BIG}"}) {
    std::string t = text;
    EXPECT_EQ(qm::ToInt(qm::VariablesExpand(table_, &t)), 5) << text;
    EXPECT_LE(t.size(), qm::kExpandMaxLength);
    std::vector<std::string> log = qmtest::TakeLogLines();
    ASSERT_EQ(log.size(), 1u) << text;
    EXPECT_EQ(log[0].rfind("Expand error : ", 0), 0u) << log[0];
  }
}

}  // namespace

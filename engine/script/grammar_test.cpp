#include "engine/script/grammar.h"

#include <gtest/gtest.h>

namespace {

TEST(Grammar, KeywordOrderAndRemovedCounts) {
  size_t n = 0;
  const qm::CommandRow* row = qm::GrammarCommands(&n);
  const std::pair<const char*, size_t> expected[] = {{"CHECK", 5}, {"COPY", 4},   {"RUN", 3},    {"CALL", 4},
                                                     {"DEL", 3},   {"VAR", 3},    {"DEF", 3},    {"RUNIF", 6},
                                                     {"CALLIF", 7}, {"COPYIF", 7}, {"REGPRODUCT", 11}};
  ASSERT_EQ(n, 11u);
  for (size_t i = 0; i < n; ++i) {
    EXPECT_STREQ(row[i].keyword, expected[i].first);
    EXPECT_EQ(row[i].removed, expected[i].second);
    EXPECT_EQ(qm::GrammarFind(expected[i].first), &row[i]);
  }
}

// One row per shape: the fields a line gives, and what a malformed line logs.
TEST(Grammar, Fields) {
  struct Row {
    const char* line;
    bool well_formed;
    const char* subject;
    const char* target;
    const char* value;
    const char* function;
    const char* flag_field;
    unsigned flags;
  };
  const Row rows[] = {
      {"CHECK \"a\"b\"", true, "a\"b", "", "", "", "", 0},
      {"COPY \"s\", \"t\", UPDATE |\tADD_REF_COUNT|X", true, "s", "t", "", "", "UPDATE|ADD_REF_COUNT|X",
       qm::kCopyUpdate | qm::kCopyAddRefCount},
      {"COPYIF \"s\", \"t\", OVERWRITE", true, "s", "t", "", "", "OVERWRITE", qm::kCopyOverwrite},
      {"COPY \"s\" \"t\"", false, "s", "", "", "", "", 0},
      {"RUN \"p\", \"-i x\", NO WAIT", true, "p", "", "-i x", "", "NOWAIT", qm::kRunNoWait},
      {"RUNIF \"p\", \"\", WAIT\t", true, "p", "", "", "", "WAIT\t", 0},
      {"CALL \"l\", Fn X , \"\"a\";\"b\"\"", true, "l", "", "\"a\";\"b\"", "FnX", "", 0},
      {"CALLIF \"l\", Fn", false, "l", "", "", "", "", 0},
      {"DEL \"d\", FORCE", true, "d", "", "", "", "FORCE", qm::kDelForce},
      {"DEL \"d\" CHECK_REF_COUNT", true, "d", "", "", "", "\"d\"CHECK_REF_COUNT", 0},
      {"VAR {A} \"v{B}\"", true, "{A}", "", "v{B}", "", "", 0},
      {"DEF INSTALLERRSTOP \"TRUE\"", true, "INSTALLERRSTOP", "", "TRUE", "", "", 0},
      {"DEF \"x\"", false, "", "", "", "", "", 0},
      {"REGPRODUCT anything", true, "", "", "", "", "", 0},
  };
  for (const Row& row : rows) {
    qm::CommandRecord r;
    ASSERT_TRUE(qm::GrammarParse(row.line, 7, &r)) << row.line;
    EXPECT_EQ(r.line, 7);
    EXPECT_EQ(r.well_formed, row.well_formed) << row.line;
    if (!row.well_formed) continue;
    EXPECT_EQ(r.subject, row.subject) << row.line;
    EXPECT_EQ(r.target, row.target) << row.line;
    EXPECT_EQ(r.value, row.value) << row.line;
    EXPECT_EQ(r.function, row.function) << row.line;
    EXPECT_EQ(r.flag_field, row.flag_field) << row.line;
    EXPECT_EQ(r.flags, row.flags) << row.line;
  }
}

TEST(Grammar, LinesThatAreNoCommand) {
  for (const char* line : {"[copy]", "COPY", "COPY\t\"a\"", "COPYY \"a\"", "copy \"a\"", " COPY \"a\"", "NAME=x"}) {
    qm::CommandRecord r;
    EXPECT_FALSE(qm::GrammarParse(line, 1, &r)) << line;
  }
}

TEST(Grammar, MalformedMessageQuotesTheArguments) {
  const std::pair<const char*, const char*> rows[] = {
      {"CHECK x", "Check data invalid, a path in double quotes is needed: x"},
      {"COPYIF x", "COPYIF data invalid, a source and a target in double quotes are needed:x"},
      {"DEF x", "DEF data invalid, a name and a value in double quotes are needed: x"},
  };
  for (const auto& row : rows) {
    qm::CommandRecord r;
    ASSERT_TRUE(qm::GrammarParse(row.first, 1, &r));
    EXPECT_EQ(qm::GrammarMalformedMessage(r), row.second);
  }
}

}  // namespace

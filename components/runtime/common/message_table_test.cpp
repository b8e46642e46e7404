#include "components/runtime/common/message_table.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageTable, Lines) {
  qm::MessageTable table = qm::ParseMessageTable(
      "; comment=no\r\n[messages]\r\nstarted=Started.\r\nempty=\r\n=nokey\r\nnoequals\r\n"
      "gbk=\xc6\xf4\xb6\xaf\r\ntwice=one\ntwice=two=2");
  EXPECT_EQ(table.size(), 4u);
  EXPECT_EQ(table["started"], "Started.");
  EXPECT_EQ(table["empty"], "");
  EXPECT_EQ(table["gbk"], "\xc6\xf4\xb6\xaf");
  EXPECT_EQ(table["twice"], "two=2");
  EXPECT_EQ(table.count("; comment"), 0u);
}

TEST(MessageTable, LanguageCandidates) {
  using Ids = std::vector<unsigned>;
  const std::pair<unsigned, Ids> rows[] = {
      {0x0804, Ids{2052, 4444, 1033}},
      {0x1004, Ids{0x1004, 2052, 4444, 1033}},
      {0x0404, Ids{1028, 4444, 1033}},
      {0x0C04, Ids{0x0C04, 1028, 4444, 1033}},
      {0x0409, Ids{1033}},
      {0x0407, Ids{0x0407, 1033}},
      {4444, Ids{4444, 1033}},
  };
  for (const auto& row : rows) EXPECT_EQ(qm::LanguageCandidates(row.first), row.second) << row.first;
}

}  // namespace

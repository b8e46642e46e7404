#include "components/runtime/removed/replace_list.h"

#include <gtest/gtest.h>

namespace {

TEST(ReplaceList, Lines) {
  qm::ReplaceList list = qm::ParseReplaceList(
      "C:\\p\\a.dll=C:\\t\\a.dll\r\n"
      "\r\n"
      "   \r\n"
      "no equals sign\r\n"
      "C:\\p\\b.dll=\r\n"
      "=C:\\t\\b.dll\r\n"
      "relative\\c.dll=C:\\t\\c.dll\r\n"
      "C:\\p\\x=y.dll=C:\\t\\x=y.dll\r\n"
      "\\\\srv\\share\\d.dll=D:\\t\\d.dll\n"
      "C:\\p\\e.dll=C:\\t\\e.dll");
  ASSERT_EQ(list.items.size(), 4u);
  EXPECT_EQ(list.items[0].target, "C:\\p\\a.dll");
  EXPECT_EQ(list.items[0].source, "C:\\t\\a.dll");
  EXPECT_EQ(list.items[1].target, "C:\\p\\x=y.dll");
  EXPECT_EQ(list.items[1].source, "C:\\t\\x=y.dll");
  EXPECT_EQ(list.items[2].target, "\\\\srv\\share\\d.dll");
  EXPECT_EQ(list.items[3].source, "C:\\t\\e.dll");
  EXPECT_EQ(list.blank_lines, 2);
  ASSERT_EQ(list.malformed.size(), 4u);
  EXPECT_EQ(list.malformed[0].number, 4);
  EXPECT_EQ(list.malformed[0].text, "no equals sign");
  EXPECT_EQ(list.malformed[3].number, 7);
}

TEST(ReplaceList, EmptyAndFormat) {
  EXPECT_TRUE(qm::ParseReplaceList("").items.empty());
  std::vector<qm::ReplaceItem> items = {{"C:\\a", "C:\\b"}, {"C:\\c", "C:\\d"}};
  std::string text = qm::FormatReplaceList(items);
  EXPECT_EQ(text, "C:\\a=C:\\b\r\nC:\\c=C:\\d\r\n");
  qm::ReplaceList again = qm::ParseReplaceList(text);
  ASSERT_EQ(again.items.size(), 2u);
  EXPECT_EQ(again.items[1].target, "C:\\c");
}

TEST(ReplaceList, Paths) {
  const std::pair<const char*, bool> full[] = {{"C:\\x", true},    {"c:\\", false}, {"C:x", false},
                                               {"\\\\s\\x", true}, {"\\x", false},  {"\\\\\\x", false}};
  for (const auto& row : full) EXPECT_EQ(qm::IsFullPath(row.first), row.second) << row.first;
  EXPECT_EQ(qm::ParentFolder("C:\\a\\b.dll"), "C:\\a");
  EXPECT_EQ(qm::ParentFolder("C:\\b.dll"), "C:\\");
  EXPECT_EQ(qm::ParentFolder("b.dll"), "");
}

}  // namespace

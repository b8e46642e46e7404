#include "engine/script/paths.h"

#include <gtest/gtest.h>

namespace {

TEST(Paths, FolderRelative) {
  const std::pair<const char*, bool> rows[] = {
      {"rel.txt", true},         {"sub\\f.dll", true},      {"C:f.dll", true},   {"..\\f.dll", true},
      {"", true},                {"C:\\f.dll", false},      {"c:/f.dll", false}, {"\\f.dll", false},
      {"/f.dll", false},         {"\\\\server\\share\\f", false}, {"{PF}\\f", true}, {"1:\\f", true},
  };
  for (const auto& row : rows) EXPECT_EQ(qm::IsFolderRelativePath(row.first), row.second) << row.first;
}

TEST(Paths, AsTested) {
  EXPECT_EQ(qm::PathAsTested("C:\\x\\{y}.dll"), "C:\\x\\{y}.dll");
  const std::string full = qm::PathAsTested("rel.dll");
  EXPECT_GT(full.size(), std::string("rel.dll").size());
  EXPECT_EQ(full.substr(full.size() - 8), "/rel.dll");  // the native build's separator
}

TEST(Paths, CopySideFile) {
  const std::string side = qm::CopySideFile("C:\\dir\\qmcsp.dll");
  EXPECT_EQ(side.find("C:\\dir\\~qm"), 0u) << side;
  EXPECT_EQ(side.size(), std::string("C:\\dir\\~qm12345678.new").size());
  EXPECT_EQ(qm::CopySideFile("c:\\DIR\\QMCSP.DLL").substr(7), side.substr(7)) << "the name is folded";
  EXPECT_NE(qm::CopySideFile("C:\\dir\\qmp11.dll"), side);
  EXPECT_EQ(qm::CopySideFile("f.dll").find("~qm"), 0u);
  EXPECT_EQ(qm::CopySideFile("C:/dir/qmcsp.dll").find("C:/dir/~qm"), 0u);

  const std::string folder = "C:\\" + std::string(240, 'd');  // 243 characters
  EXPECT_EQ(qm::CopySideFile(folder + "\\f").size(), 259u) << "the longest that fits";
  EXPECT_EQ(qm::CopySideFile(folder + "d\\f"), "") << "one more does not";
}

}  // namespace

#include "engine/package/package_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

TEST(DerEncode, MinimalLengths) {
  const std::pair<size_t, Bytes> rows[] = {{0, {0x00}},
                                           {127, {0x7F}},
                                           {128, {0x81, 0x80}},
                                           {255, {0x81, 0xFF}},
                                           {256, {0x82, 0x01, 0x00}},
                                           {65535, {0x82, 0xFF, 0xFF}},
                                           {65536, {0x83, 0x01, 0x00, 0x00}},
                                           {0x12345678, {0x84, 0x12, 0x34, 0x56, 0x78}}};
  for (const auto& row : rows) EXPECT_EQ(qm::DerEncodeLength(row.first), row.second) << row.first;
}

TEST(DerEncode, MinimalIntegers) {
  const std::pair<uint32_t, Bytes> rows[] = {{0, {0x02, 0x01, 0x00}},
                                             {127, {0x02, 0x01, 0x7F}},
                                             {128, {0x02, 0x02, 0x00, 0x80}},
                                             {256, {0x02, 0x02, 0x01, 0x00}},
                                             {0x7FFFFFFF, {0x02, 0x04, 0x7F, 0xFF, 0xFF, 0xFF}},
                                             {0x80000000, {0x02, 0x05, 0x00, 0x80, 0x00, 0x00, 0x00}}};
  for (const auto& row : rows) EXPECT_EQ(qm::DerEncodeInteger(row.first), row.second) << row.first;
}

TEST(DerEncode, EntryLayout) {
  qm::PackageEntry e;
  e.offset = 0;
  e.length = 200;
  e.path = "a\\b";
  EXPECT_EQ(qm::DerEncodeDirectory({e}),
            (Bytes{0x30, 0x0E, 0x30, 0x0C, 0x02, 0x01, 0x00, 0x02, 0x02, 0x00, 0xC8, 0x13, 0x03, 'a', '\\', 'b'}));
}

class PackageCollectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("qm_collect_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    for (const char* f : {"qmsetup.ini", "b.dll", "a/z.txt", "a/b/c.txt"}) {
      fs::create_directories((root_ / f).parent_path());
      std::ofstream(root_ / f) << f;
    }
  }
  void TearDown() override { fs::remove_all(root_); }
  fs::path root_;
};

TEST_F(PackageCollectTest, ScriptFirstThenSortedWalk) {
  std::vector<qm::PackSource> sources;
  ASSERT_EQ(qm::PackageCollect(root_.string(), "", &sources), "");
  std::vector<std::string> paths;
  for (const auto& s : sources) paths.push_back(s.package_path);
  EXPECT_EQ(paths, (std::vector<std::string>{"qmsetup.ini", "a\\b\\c.txt", "a\\z.txt", "b.dll"}));
}

TEST_F(PackageCollectTest, ListOrderAndErrors) {
  std::ofstream(root_ / "list") << "b.dll\r\n# comment\n\na\\z.txt\n";
  std::vector<qm::PackSource> sources;
  ASSERT_EQ(qm::PackageCollect(root_.string(), (root_ / "list").string(), &sources), "");
  ASSERT_EQ(sources.size(), 3u);
  EXPECT_EQ(sources[1].package_path, "b.dll");
  EXPECT_EQ(sources[2].package_path, "a\\z.txt");

  std::ofstream(root_ / "list") << "missing.dll\n";
  EXPECT_NE(qm::PackageCollect(root_.string(), (root_ / "list").string(), &sources), "");
  fs::remove(root_ / "qmsetup.ini");
  EXPECT_NE(qm::PackageCollect(root_.string(), "", &sources).find("no qmsetup.ini"), std::string::npos);
}

TEST_F(PackageCollectTest, WriteRefusesPathsOutsideTheUnpackFolder) {
  EXPECT_NE(qm::PackageWrite((root_ / "out.dat").string(), {{"..\\x", (root_ / "b.dll").string()}}), "");
  EXPECT_NE(qm::PackageWrite((root_ / "out.dat").string(), {{"", (root_ / "b.dll").string()}}), "");
}

}  // namespace

#include "engine/script/script.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "base/result.h"

#include "tests/native/test_log_sink.h"

namespace {

namespace fs = std::filesystem;

qm::Script Parse(const std::string& text) {
  qm::Script s;
  qm::ScriptParse(text, &s);
  return s;
}

TEST(ScriptParse, KeptAndDroppedLines) {
  qm::Script s = Parse(
      "; comment\n\nbefore any header\n[FILES]\nCHECK \"a\"\n ;kept, blank first\n   \nVAR x ; not a comment\n"
      ";CHECK \"dropped\"\n[copy]\nCOPY x");
  EXPECT_EQ(s.lines, (std::vector<std::string>{"before any header", "[FILES]", "CHECK \"a\"", " ;kept, blank first", "   ",
                                               "VAR x ; not a comment", "[copy]", "COPY x"}));
  ASSERT_EQ(s.chapters.size(), 2u);
  EXPECT_EQ(s.chapters.at("FILES").lines,
            (qm::ChapterLines{"[FILES]", "CHECK \"a\"", " ;kept, blank first", "   ", "VAR x ; not a comment"}));
  EXPECT_EQ(s.chapters.at("copy").lines, (qm::ChapterLines{"[copy]", "COPY x"}))
      << "the last line counts without a line feed";
  const std::vector<qm::CommandRecord>& commands = s.chapters.at("FILES").commands;
  ASSERT_EQ(commands.size(), 2u) << "CHECK and VAR, with the numbers of their lines in the file";
  EXPECT_EQ(commands[0].line, 5);
  EXPECT_EQ(commands[1].line, 8);
}

TEST(ScriptParse, CrLfAndBareLfLoadTheSame) {
  const std::string lf = "[A]\nCHECK \"x\"\n[B]\nDEF y\n";
  std::string crlf;
  for (char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  qm::Script a = Parse(lf);
  qm::Script b = Parse(crlf);
  EXPECT_EQ(a.lines, b.lines);
  ASSERT_EQ(a.chapters.size(), b.chapters.size());
  for (const auto& chapter : a.chapters) EXPECT_EQ(chapter.second.lines, b.chapters.at(chapter.first).lines);
  EXPECT_EQ(Parse("[A]\rCHECK\n").lines, (std::vector<std::string>{"[A]\rCHECK"})) << "a lone CR is text";
}

TEST(ScriptParse, HeaderNamesAndDuplicates) {
  qm::Script s = Parse("[COMMON]\nVAR 1\n[copy] \nx\n[COPY]\ny\n[copy]\nz\n[COMMON]\nVAR 2\n[noclose\n[]\n[\n");
  EXPECT_EQ(s.chapters.at("COMMON").lines, (qm::ChapterLines{"[COMMON]", "VAR 1"})) << "the first chapter of a name wins";
  EXPECT_NE(qm::ScriptFindChapter(s, "copy]"), nullptr) << "[copy] with a trailing blank names copy]";
  EXPECT_EQ(qm::ScriptFindChapter(s, "copy")->lines.at(1), "z");
  EXPECT_EQ(qm::ScriptFindChapter(s, "COPY")->lines.at(1), "y");
  EXPECT_NE(qm::ScriptFindChapter(s, "noclos"), nullptr) << "the last character is cut whatever it is";
  EXPECT_NE(qm::ScriptFindChapter(s, ""), nullptr);
  EXPECT_EQ(qm::ScriptFindChapter(s, "common"), nullptr);
  EXPECT_EQ(qm::ScriptFindChapter(s, "COMMO"), nullptr);
}

class ScriptLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("qm_script_" + std::to_string(::getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    qmtest::TakeLogLines();
  }
  void TearDown() override { fs::remove_all(folder_); }
  void Write(const std::string& text) { std::ofstream(folder_ / "qmsetup.ini", std::ios::binary) << text; }
  fs::path folder_;
};

TEST_F(ScriptLoadTest, ResultsAndLogLines) {
  const std::string path = folder_.string() + "\\qmsetup.ini";
  struct Row {
    const char* content;  // null: no file
    int code;
    std::vector<std::string> log;
  };
  const Row rows[] = {
      {nullptr, 4, {"INI file is" + path, "INI file not exist."}},
      {"; only comments\n\n;[FILES]\n", 2, {"INI file is" + path, "INI file data invalid."}},
      {"", 2, {"INI file is" + path, "INI file data invalid."}},
      {"[FILES]\r\nCHECK \"a\"\r\n", 0, {"INI file is" + path}},
  };
  for (const Row& row : rows) {
    fs::remove(folder_ / "qmsetup.ini");
    if (row.content) Write(row.content);
    qm::Script s;
    s.lines = {"stale"};
    EXPECT_EQ(qm::ToInt(qm::ScriptLoad(folder_.string(), &s)), row.code);
    EXPECT_EQ(qmtest::TakeLogLines(), row.log);
  }
}

TEST_F(ScriptLoadTest, FolderInPlaceOfTheScriptIsNoData) {
  fs::create_directories(folder_ / "qmsetup.ini");
  qm::Script s;
  EXPECT_EQ(qm::ScriptLoad(folder_.string(), &s), qm::EngineResult::kInvalidArgument);
  std::vector<std::string> log = qmtest::TakeLogLines();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "INI file data invalid.");
}

}  // namespace

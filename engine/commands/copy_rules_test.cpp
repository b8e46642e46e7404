// COPY's and COPYIF's rules against the in-memory system: which copies are made, what is logged,
// what is counted and what is deferred to the restart.
#include <gtest/gtest.h>

#include "engine/commands/commands.h"
#include "tests/native/fake_system.h"
#include "tests/native/test_log_sink.h"

namespace {

using qm::EngineResult;
using Lines = std::vector<std::string>;

constexpr uint64_t V(uint64_t a, uint64_t b, uint64_t c, uint64_t d) { return a << 48 | b << 32 | c << 16 | d; }

class CopyRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qmtest::TakeLogLines();
    context_.variables["{TMP}"] = "C:\\stage\\KX2";
    context_.variables["{Q}"] = "C:\\Program Files\\qmsrv";
  }
  EngineResult Run(const std::string& line) {
    qm::CommandRecord record;
    EXPECT_TRUE(qm::GrammarParse(line, 1, &record)) << line;
    return record.id() == qm::CommandId::kCopy ? qm::ExecuteCopy(context_.get(), record)
                                                : qm::ExecuteCopyIf(context_.get(), record);
  }
  std::string Content(const std::string& path) {
    const qmtest::FakeFile* file = system_.File(path);
    return file ? file->content : "<none>";
  }

  const std::string source_ = "C:\\stage\\KX2\\a.dll";
  const std::string target_ = "C:\\Program Files\\qmsrv\\a.dll";
  qmtest::FakeSystem system_;
  qmtest::FakeContext context_{system_};
};

TEST_F(CopyRulesTest, UpdateDecidesByVersionFieldByField) {
  struct Row {
    uint64_t source, target;  // 0: no version resource (or 0.0.0.0)
    bool target_there;
    const char* tag;
  };
  const Row rows[] = {
      {V(1, 0, 1, 0), V(1, 0, 0, 12), true, " OK./QM_DEST_VERSION_OLD"},
      {V(1, 0, 0, 931), V(1, 0, 0, 930), true, " OK./QM_DEST_VERSION_OLD"},
      {V(1, 0, 0, 12), V(1, 0, 0, 12), true, "Not need/ OK./QM_DEST_DVERSION_EQUAL"},
      {V(1, 0, 0, 12), V(2, 5, 3, 1200), true, "Not need/ OK./QM_DEST_DVERSION_NEW"},
      {0, V(2, 5, 3, 1200), true, " OK./QM_EVER_INSTALL"},
      {V(1, 0, 0, 12), 0, true, " OK./QM_EVER_INSTALL"},
      {V(1, 0, 0, 12), 0, false, " OK./QM_EVER_INSTALL"},
  };
  for (const Row& row : rows) {
    system_ = qmtest::FakeSystem();
    system_.AddFile(source_, "new", row.source);
    if (row.target_there) system_.AddFile(target_, "old", row.target);
    ASSERT_EQ(Run("COPY \"{TMP}\\a.dll\", \"{Q}\\a.dll\", UPDATE"), EngineResult::kOk);
    const std::string tag = row.tag;
    const bool copies = tag.rfind("Not need/", 0) != 0;
    const std::string line = copies ? "Copy " + source_ + " to" + target_ + tag
                                    : "Not need Copy " + source_ + " to" + target_ + tag.substr(9);
    EXPECT_EQ(qmtest::TakeLogLines(), Lines{line});
    EXPECT_EQ(Content(target_), copies ? "new" : "old") << tag;
    EXPECT_EQ(context_.effects.last_copy, copies ? 1 : 0);
  }
}

TEST_F(CopyRulesTest, CopyIfFollowsTheCopyBeforeItAndCounts) {
  system_.AddFile(source_, "new", V(1, 0, 0, 12));
  system_.AddFile("C:\\stage\\KX2\\a.lng", "lang");
  system_.AddFile(target_, "same", V(1, 0, 0, 12));
  ASSERT_EQ(Run("COPY \"{TMP}\\a.dll\", \"{Q}\\a.dll\", UPDATE"), EngineResult::kOk);
  ASSERT_EQ(Run("COPYIF \"{TMP}\\a.lng\", \"{Q}\\a.lng\", ADD_REF_COUNT"), EngineResult::kOk);
  EXPECT_EQ(Content("C:\\Program Files\\qmsrv\\a.lng"), "<none>") << "the COPY before did not copy";
  ASSERT_EQ(Run("COPY \"{TMP}\\a.dll\", \"{Q}\\a.dll\", OVERWRITE|ADD_REF_COUNT"), EngineResult::kOk);
  ASSERT_EQ(Run("COPYIF \"{TMP}\\a.lng\", \"{Q}\\a.lng\", ADD_REF_COUNT"), EngineResult::kOk);
  EXPECT_EQ(Content("C:\\Program Files\\qmsrv\\a.lng"), "lang");
  EXPECT_EQ(system_.Registry(), (Lines{"Software", "Software\\QMSrv", "Software\\QMSrv\\Ref",
                                       "Software\\QMSrv\\Ref\\c:\\program files\\qmsrv\\a.dll=#1",
                                       "Software\\QMSrv\\Ref\\c:\\program files\\qmsrv\\a.lng=#2"}));
}

TEST_F(CopyRulesTest, TargetInUseIsReplacedAtTheRestart) {
  system_.AddFile(source_, "new");
  system_.AddFile(target_, "old");
  system_.File(target_)->in_use = true;
  ASSERT_EQ(Run("COPY \"{TMP}\\a.dll\", \"{Q}\\a.dll\", OVERWRITE"), EngineResult::kOk);
  EXPECT_EQ(Content(target_), "old");
  EXPECT_EQ(system_.restart_work, Lines{"replace " + target_ + " with " + source_});
  EXPECT_EQ(context_.effects.restart_needed, 1);
  EXPECT_EQ(system_.Files(), (Lines{target_, source_})) << "no side file is left";
  EXPECT_EQ(qmtest::TakeLogLines(), (Lines{"Need reboot to Copy from " + source_ + " to" + target_ + " OK.",
                                           "Copy " + source_ + " to" + target_ + " OK./OVERWRITE"}));

  context_.effects.restart_needed = 0;
  system_.replace_result = EngineResult::kReplaceMoveAsideFailed;
  EXPECT_EQ(Run("COPY \"{TMP}\\a.dll\", \"{Q}\\a.dll\", OVERWRITE"), EngineResult::kReplaceMoveAsideFailed);
  EXPECT_EQ(context_.effects.restart_needed, 0);
  EXPECT_EQ(qmtest::TakeLogLines(), Lines{"Copy " + source_ + " to" + target_ + " failed: the target is in use and " +
                                          "cannot be replaced at the next restart LastErr:0x00000020."});
}

TEST_F(CopyRulesTest, FailedCopyKeepsTheInstalledFileAndCountsNothing) {
  system_.AddFile(source_, "new");
  system_.AddFile(target_, "old");
  system_.full_folders.insert("c:\\program files\\qmsrv");
  EXPECT_EQ(Run("COPY \"{TMP}\\a.dll\", \"{Q}\\a.dll\", OVERWRITE|ADD_REF_COUNT"), EngineResult::kCopyFailed);
  EXPECT_EQ(Content(target_), "old");
  EXPECT_EQ(system_.Files(), (Lines{target_, source_})) << "what the broken copy wrote beside it is gone";
  EXPECT_TRUE(system_.Registry().empty());
  EXPECT_EQ(qmtest::TakeLogLines(), Lines{"Copy " + source_ + " to" + target_ +
                                          " failed: the file cannot be copied LastErr:0x00000070."});
}

TEST_F(CopyRulesTest, RefusedLines) {
  const std::pair<const char*, EngineResult> rows[] = {
      {"COPY \"{TMP}\\a.dll\" \"{Q}\\a.dll\"", EngineResult::kInvalidArgument},
      {"COPY \"{TMP}\\a.dll\", \"{NOPE}\\a.dll\", UPDATE", EngineResult::kVariableUndefined},
      {"COPY \"{TMP}\\a.dll\", \"a.dll\", UPDATE", EngineResult::kInvalidArgument},
      {"COPY \"{TMP}\\gone.dll\", \"{Q}\\a.dll\", OVERWRITE", EngineResult::kFileMissing},
  };
  system_.AddFile(source_, "new");
  for (const auto& row : rows) EXPECT_EQ(Run(row.first), row.second) << row.first;
  EXPECT_EQ(system_.Files(), Lines{source_});
}

}  // namespace

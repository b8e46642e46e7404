// DEL's rules, and the reference counts under them, against the in-memory system.
#include <gtest/gtest.h>

#include "engine/commands/commands.h"
#include "engine/ops/ref_count.h"
#include "tests/native/fake_system.h"
#include "tests/native/test_log_sink.h"

namespace {

using qm::EngineResult;
using Lines = std::vector<std::string>;

const char kFile[] = "C:\\Program Files\\qmsrv\\tsp\\t.dll";
const char kRef[] = "Software\\QMSrv\\Ref";

class DelRulesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qmtest::TakeLogLines();
    system_.AddFile(kFile, "t");
  }
  EngineResult Del(const std::string& option) {
    qm::CommandRecord record;
    EXPECT_TRUE(qm::GrammarParse(std::string("DEL \"") + kFile + "\"" + option, 1, &record));
    return qm::ExecuteDel(context_.get(), record);
  }

  qmtest::FakeSystem system_;
  qmtest::FakeContext context_{system_};
};

TEST_F(DelRulesTest, CountsDecideWhetherTheFileGoes) {
  struct Row {
    const char* option;
    int stored;  // -1: no value
    bool file_left;
    const char* count_left;  // the Ref value afterwards, "" when gone
  };
  const Row rows[] = {
      {", CHECK_REF_COUNT", 3, true, "#2"}, {", CHECK_REF_COUNT", 1, false, ""}, {", CHECK_REF_COUNT", 0, false, ""},
      {", CHECK_REF_COUNT", -1, false, ""}, {", FORCE", 3, false, ""},           {", OTHER", 3, true, "#3"},
  };
  for (const Row& row : rows) {
    system_ = qmtest::FakeSystem();
    system_.AddFile(kFile, "t");
    system_.SetCount("Software\\QMSrv\\Product", "p", 1);  // another record keeps the family
    if (row.stored >= 0) system_.SetCount(kRef, kFile, static_cast<uint32_t>(row.stored));
    ASSERT_EQ(Del(row.option), EngineResult::kOk) << row.option;
    EXPECT_EQ(system_.File(kFile) != nullptr, row.file_left) << row.option << " " << row.stored;
    uint32_t count = 0;
    const bool present = system_.ReadCount(kRef, kFile, &count) == qm::CountRead::kPresent;
    EXPECT_EQ(present ? "#" + std::to_string(count) : "", row.count_left) << row.option << " " << row.stored;
    EXPECT_EQ(system_.KeyExists(kRef), present) << "the Ref key goes with its last value";
  }
}

TEST_F(DelRulesTest, LastRecordTakesTheFamilyAndTheProductFolder) {
  system_.SetCount(kRef, kFile, 1);
  ASSERT_EQ(Del(", CHECK_REF_COUNT"), EngineResult::kOk);
  EXPECT_TRUE(system_.Registry() == Lines{"Software"});
  EXPECT_EQ(system_.restart_work, Lines{"delete C:\\Program Files\\qmsrv"});
  EXPECT_EQ(context_.effects.restart_needed, 1);
  EXPECT_FALSE(system_.HasFolder("C:\\Program Files\\qmsrv\\tsp")) << "its emptied folder goes";
  EXPECT_EQ(qmtest::TakeLogLines(),
            (Lines{"Delete Dir is: C:\\Program Files\\qmsrv", std::string("Del ") + kFile + " OK./CHECK_REF_COUNT"}));
}

TEST_F(DelRulesTest, FileInUseGoesAtTheRestartAndDotEntriesKeepTheFolder) {
  system_.File(kFile)->in_use = true;
  system_.AddFile("C:\\Program Files\\qmsrv\\tsp\\.keep", "");
  system_.SetCount("Software\\QMSrv\\Product", "p", 1);
  ASSERT_EQ(Del(", FORCE"), EngineResult::kOk);
  EXPECT_EQ(system_.restart_work, Lines{std::string("delete ") + kFile});
  EXPECT_EQ(context_.effects.restart_needed, 1);
  system_.File(kFile)->in_use = false;
  system_.RemoveFile(kFile);
  ASSERT_EQ(Del(", OTHER"), EngineResult::kOk);
  EXPECT_TRUE(system_.HasFolder("C:\\Program Files\\qmsrv\\tsp")) << "looked at, but its removal fails";
}

TEST_F(DelRulesTest, AddAndReadCounts) {
  const qm::CommandContext& context = context_.get();
  EXPECT_EQ(qm::GetReferenceCount(context, kFile), 0);
  EXPECT_EQ(qm::AddReference(context, kFile), EngineResult::kOk);
  EXPECT_EQ(qm::AddReference(context, "c:\\PROGRAM FILES\\qmsrv\\tsp\\T.DLL"), EngineResult::kOk);
  EXPECT_EQ(qm::GetReferenceCount(context, kFile), 2) << "value names compare without case";
  system_.WriteString(kRef, kFile, "text");
  EXPECT_EQ(qm::AddReference(context, kFile), EngineResult::kReferenceStoreFailed);
}

}  // namespace

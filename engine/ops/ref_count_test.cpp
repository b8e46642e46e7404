// Reference counts against the real registry, called directly.
#include "engine/ops/ref_count.h"

#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "base/win/reg_key.h"
#include "engine/core/engine_state.h"
#include "qmsetup/results.h"
#include "tests/win/engine_access.h"
#include "tests/win/test_support.h"

namespace {

using Lines = std::vector<std::string>;

const char kFile[] = "C:\\Program Files\\qmsrv\\tsp\\qmtsp_kx2.dll";

class RefCountTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\QMSrv");
    qm::EngineState& state = qm::EngineGetState();
    state.program_files_folder = "C:\\qmtest_pf";
    state.effects.restart_needed = 0;
  }
  void TearDown() override { ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\QMSrv"); }
  static void Store(DWORD count) {
    qm::RegKey refs;
    refs.Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Ref");
    refs.WriteDword(kFile, count);
  }
  static Lines Tree() { return qmtest::RegistryTree("Software\\QMSrv"); }
};

TEST_F(RefCountTest, TwoProductsShareAFile) {
  EXPECT_EQ(qm::GetReferenceCount(qmtest::EngineContext(), kFile), 0) << "nothing recorded";
  EXPECT_EQ(qm::AddReference(qmtest::EngineContext(), kFile), 0);
  EXPECT_EQ(qm::AddReference(qmtest::EngineContext(), kFile), 0);
  EXPECT_EQ(qm::GetReferenceCount(qmtest::EngineContext(), kFile), 2);
  qm::RegKey().Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Product");  // the products' records
  bool remove = false;
  EXPECT_EQ(qm::ReleaseReference(qmtest::EngineContext(), kFile, false, &remove), 0);
  EXPECT_FALSE(remove) << "another product still uses it";
  EXPECT_EQ(qm::GetReferenceCount(qmtest::EngineContext(), kFile), 1);
  EXPECT_EQ(qm::ReleaseReference(qmtest::EngineContext(), kFile, false, &remove), 0);
  EXPECT_TRUE(remove);
  EXPECT_EQ(Tree(), (Lines{"Product|", "|"})) << "the last value takes Ref with it";
  EXPECT_EQ(qm::EngineGetState().effects.restart_needed, 0) << "the records keep the tree";
}

TEST_F(RefCountTest, ReleaseRules) {
  struct Row {
    const char* name;
    int stored;  // -1: no value
    bool force;
    bool remove;
    int left;  // count afterwards
  };
  const Row rows[] = {
      {"last reference", 1, false, true, 0},       {"shared", 5, false, false, 4},
      {"forced", 5, true, true, 0},                {"stored 0 is the last one", 0, false, true, 0},
      {"never counted", -1, false, true, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\QMSrv");
    qm::RegKey().Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Product");
    if (row.stored >= 0) Store(static_cast<DWORD>(row.stored));
    bool remove = row.force;
    EXPECT_EQ(qm::ReleaseReference(qmtest::EngineContext(), kFile, row.force, &remove), 0);
    EXPECT_EQ(remove, row.remove);
    EXPECT_EQ(qm::GetReferenceCount(qmtest::EngineContext(), kFile), row.left);
  }
}

TEST_F(RefCountTest, UnreadableValues) {
  {
    qm::RegKey refs;
    refs.Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Ref");
    const BYTE eight[8] = {2, 0, 0, 0, 9, 9, 9, 9};
    refs.WriteRaw(kFile, REG_BINARY, eight, sizeof(eight));
  }
  const Lines before = Tree();
  EXPECT_EQ(qm::AddReference(qmtest::EngineContext(), kFile), qm::EngineResult::kReferenceStoreFailed);
  EXPECT_EQ(Tree(), before) << "left as it was";
  EXPECT_EQ(qm::GetReferenceCount(qmtest::EngineContext(), kFile), 0);
  Store(0xFFFFFFFF);
  EXPECT_EQ(qm::GetReferenceCount(qmtest::EngineContext(), kFile), -1) << "read as a signed number";
  EXPECT_EQ(qm::AddReference(qmtest::EngineContext(), "c:\\program files\\QMSRV\\tsp\\qmtsp_kx2.dll"), 0);
  EXPECT_EQ(qm::GetReferenceCount(qmtest::EngineContext(), kFile), 0) << "value names compare without case: the same value wrapped to 0";
  EXPECT_EQ(qm::AddReference(qmtest::EngineContext(), "C:\\PROGRA~1\\qmsrv\\tsp\\qmtsp_kx2.dll"), 0);
  EXPECT_EQ(qm::GetReferenceCount(qmtest::EngineContext(), "C:\\PROGRA~1\\qmsrv\\tsp\\qmtsp_kx2.dll"), 1) << "another spelling, another count";
}

TEST_F(RefCountTest, LastReleaseRemovesTheTreeAndSchedulesTheProductFolder) {
  Store(1);
  bool remove = false;
  qm::ReleaseReference(qmtest::EngineContext(), kFile, false, &remove);
  EXPECT_TRUE(remove);
  EXPECT_FALSE(qmtest::RegistryKeyExists("Software\\QMSrv"));
  EXPECT_EQ(qm::EngineGetState().effects.restart_needed, 1);
  std::vector<std::string> pending = qmtest::PendingFileRenameOperations();
  auto at = std::find(pending.begin(), pending.end(), "\\??\\C:\\qmtest_pf\\qmsrv");
  ASSERT_NE(at, pending.end());
  ASSERT_NE(at + 1, pending.end());
  EXPECT_EQ(*(at + 1), "") << "a deletion";
}

}  // namespace

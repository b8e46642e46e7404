// DEL through DoStep, and a whole tree installed by COPY/COPYIF and removed by DEL.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include "base/win/reg_key.h"
#include "engine/script/paths.h"
#include "tests/win/file_command_fixture.h"
#include "tests/win/test_support.h"

namespace {

using qmtest::Lines;

class DelTest : public qmtest::FileCommandTest {
 protected:
  // Another subkey keeps the tree, as the product records do during a removal.
  static void KeepTree() { qm::RegKey().Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Product"); }
};

// What a stopped COPY left beside the file under our side name goes with it, so its folder can go
// too; a user's own "<file>.NEW" is not ours to delete.
TEST_F(DelTest, LeftoverSideFileGoesWithItsFile) {
  Prepare("[del]\r\nDEL \"{DEST}\\sub\\f.txt\", CHECK_REF_COUNT\r\n"
          "[keep]\r\nDEL \"{DEST}\\kept\\f.txt\", CHECK_REF_COUNT\r\n"
          "[user]\r\nDEL \"{DEST}\\user\\f.txt\", FORCE\r\n",
          {});
  KeepTree();
  for (const char* sub : {"sub", "kept", "user"}) {
    const std::string folder = dest_ + "\\" + sub;
    ::CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(qmtest::WriteFileBytes(folder + "\\f.txt", "x"));
    ASSERT_TRUE(qmtest::WriteFileBytes(qm::CopySideFile(folder + "\\f.txt"), "half"));
  }
  ASSERT_TRUE(qmtest::WriteFileBytes(dest_ + "\\user\\f.txt.NEW", "a user's own file"));
  StoreCount(dest_ + "\\kept\\f.txt", 2);
  EXPECT_EQ(Step("del"), 0);
  EXPECT_FALSE(qmtest::FileExists(dest_ + "\\sub"));
  EXPECT_EQ(Step("keep"), 0);
  EXPECT_TRUE(qmtest::FileExists(qm::CopySideFile(dest_ + "\\kept\\f.txt"))) << "a file another product uses keeps everything";
  EXPECT_EQ(Step("user"), 0);
  EXPECT_EQ(qmtest::ListTree(dest_ + "\\user", false), (Lines{"f.txt.NEW"}));
}

// Only a path resolved against the host's current folder is refused, and only by a line that
// would act on it.
TEST_F(DelTest, PathsRelativeToTheCurrentFolder) {
  const std::string rooted = dest_.substr(2);  // "\users\...": on the current drive
  Prepare("[check]\r\nDEL \"rel.txt\", CHECK_REF_COUNT\r\n[force]\r\nDEL \"sub\\rel.txt\", FORCE\r\n"
          "[none]\r\nDEL \"sub\\rel.txt\", CHECK_REFCOUNT\r\n[rooted]\r\nDEL \"" + rooted + "\\r.txt\", FORCE\r\n",
          {});
  ::CreateDirectoryA((folder_ + "\\sub").c_str(), nullptr);
  ASSERT_TRUE(qmtest::WriteFileBytes(folder_ + "\\rel.txt", "x"));
  ASSERT_TRUE(qmtest::WriteFileBytes(dest_ + "\\r.txt", "x"));
  qmtest::CurrentFolder current(folder_);
  EXPECT_EQ(Step("check"), 2);
  EXPECT_EQ(Body(), (Lines{"DEL path is relative to the current folder: rel.txt"}));
  EXPECT_EQ(Step("force"), 2);
  EXPECT_EQ(Body(), (Lines{"DEL path is relative to the current folder: sub\\rel.txt"}));
  EXPECT_EQ(Step("none"), 0) << "a misspelled option does nothing";
  EXPECT_EQ(Body(), Lines{});
  EXPECT_TRUE(qmtest::FileExists(folder_ + "\\rel.txt"));
  EXPECT_TRUE(qmtest::FileExists(folder_ + "\\sub")) << "not even the empty folder's check";
  EXPECT_EQ(Step("rooted"), 0);
  EXPECT_FALSE(qmtest::FileExists(dest_ + "\\r.txt"));
}

TEST_F(DelTest, OptionsAndCounts) {
  struct Row {
    const char* name;
    int stored;  // -1: never counted
    const char* option;
    bool read_only;
    bool removed;
    int left;
    const char* log;  // {T}: the file
  };
  const Row rows[] = {
      {"shared", 2, ", CHECK_REF_COUNT", false, false, 1, "Del {T} OK./CHECK_REF_COUNT"},
      {"last reference", 1, ",CHECK_REF_COUNT ", false, true, 0, "Del {T} OK./CHECK_REF_COUNT"},
      {"stored 0", 0, ", CHECK_REF_COUNT", false, true, 0, "Del {T} OK./CHECK_REF_COUNT"},
      {"never counted", -1, ",\tCHECK_REF_COUNT", false, true, 0, "Del {T} OK./CHECK_REF_COUNT"},
      {"forced, read-only", 5, ", FORCE", true, true, 0, "Del {T} OK./FORCE"},
      {"misspelled option", 2, ", CHECK_REFCOUNT", false, false, 2, nullptr},
      {"no option", 2, "", false, false, 2, nullptr},
  };
  std::string chapters;
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    chapters += "[row" + std::to_string(i) + "]\r\nDEL \"{DEST}\\row" + std::to_string(i) + "\\f.txt\"" + rows[i].option + "\r\n";
  Prepare(chapters, {});
  KeepTree();
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.name);
    const std::string folder = dest_ + "\\row" + std::to_string(i), file = folder + "\\f.txt";
    ::CreateDirectoryA(folder.c_str(), nullptr);
    ASSERT_TRUE(qmtest::WriteFileBytes(file, "x"));
    if (row.read_only) ::SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY);
    StoreCount(file, row.stored);
    EXPECT_EQ(Step("row" + std::to_string(i)), 0);
    EXPECT_EQ(qmtest::FileExists(file), !row.removed);
    EXPECT_EQ(qmtest::FileExists(folder), !row.removed) << "the emptied folder goes with its last file";
    EXPECT_EQ(Count(file), row.left);
    EXPECT_EQ(Body(), row.log ? Subst({row.log}, "", file) : Lines{});
  }
}

TEST_F(DelTest, FolderWithADotNamedFileStays) {
  Prepare("[del]\r\nDEL \"{DEST}\\dots\\f.txt\", FORCE\r\n", {});
  const std::string folder = dest_ + "\\dots";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  ASSERT_TRUE(qmtest::WriteFileBytes(folder + "\\f.txt", "x"));
  ASSERT_TRUE(qmtest::WriteFileBytes(folder + "\\.keep", "x"));
  EXPECT_EQ(Step("del"), 0);
  EXPECT_FALSE(qmtest::FileExists(folder + "\\f.txt"));
  EXPECT_TRUE(qmtest::FileExists(folder + "\\.keep"));
}

TEST_F(DelTest, FileInUseGoesAtTheNextRestart) {
  Prepare("[del]\r\nDEL \"{DEST}\\busy\\busy.dll\", FORCE\r\n", {});
  const std::string folder = dest_ + "\\busy", busy = folder + "\\busy.dll";
  ::CreateDirectoryA(folder.c_str(), nullptr);
  ASSERT_TRUE(qmtest::WriteFileBytes(busy, Payload("ver_1_0_0_12")));
  {
    qmtest::FileHolder holder(busy, "load");
    ASSERT_TRUE(holder.holding());
    EXPECT_EQ(Step("del"), 0);
    EXPECT_EQ(Body(), (Lines{"Del " + busy + " OK./FORCE", "Need reboot to Del file " + busy + "."}));
    EXPECT_TRUE(qmtest::FileExists(busy));
    EXPECT_TRUE(qmtest::FileExists(folder));
    EXPECT_EQ(FinishCode(), 12);
  }
  EXPECT_EQ(qmtest::RunProcess("wineboot.exe -r").exit_code, 0u);
  EXPECT_FALSE(qmtest::FileExists(busy));
}

TEST_F(DelTest, LastReleaseRemovesTheTreeAndSchedulesTheProductFolder) {
  Prepare("[del]\r\nDEL \"{DEST}\\f.txt\", CHECK_REF_COUNT\r\n", {});
  ASSERT_TRUE(qmtest::WriteFileBytes(dest_ + "\\f.txt", "x"));
  StoreCount(dest_ + "\\f.txt", 1);
  EXPECT_EQ(Step("del"), 0);
  qm::RegKey key;
  std::string program_files;
  key.Open(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", KEY_QUERY_VALUE);
  key.ReadString("ProgramFilesDir", &program_files);
  EXPECT_EQ(Body(), (Lines{"Delete Dir is: " + program_files + "\\qmsrv", "Del " + dest_ + "\\f.txt OK./CHECK_REF_COUNT"}));
  EXPECT_FALSE(qmtest::RegistryKeyExists("Software\\QMSrv"));
  std::vector<std::string> pending = qmtest::PendingFileRenameOperations();
  EXPECT_NE(std::find(pending.begin(), pending.end(), "\\??\\" + program_files + "\\qmsrv"), pending.end());
  EXPECT_EQ(FinishCode(), 12);
}

TEST_F(DelTest, Failures) {
  Prepare("[noquotes]\r\nDEL {DEST}\\f.txt, FORCE\r\nCHECK \"never\"\r\n[undefined]\r\nDEL \"{NOPE}\\f.txt\", FORCE\r\n", {});
  EXPECT_EQ(Step("noquotes"), 2);
  EXPECT_EQ(Body(), (Lines{"DEL data invalid, a path in double quotes is needed: {DEST}\\f.txt, FORCE"}));
  EXPECT_EQ(Step("undefined"), 5);
  EXPECT_EQ(Body(), (Lines{"Want to Get Common error :{NOPE} Not exist."}));
}

// Two products install one tree of versioned and unversioned files; removing the first keeps it,
// removing the second takes every file, folder and count.
TEST_F(DelTest, TreeInstalledByTwoProductsAndRemoved) {
  const std::string install =
      "[copy]\r\n"
      "COPY \"{TMP}\\bin\\lib.dll\", \"{DEST}\\qmsrv\\lib.dll\", UPDATE | ADD_REF_COUNT\r\n"
      "COPY \"{TMP}\\res\\mon.dll\", \"{DEST}\\qmsrv\\slotmon\\mon.dll\", UPDATE | ADD_REF_COUNT\r\n"
      "COPYIF \"{TMP}\\mon.sig\", \"{DEST}\\qmsrv\\slotmon\\mon.sig\", UPDATE | ADD_REF_COUNT\r\n"
      "COPY \"{TMP}\\a_2052.lng\", \"{DEST}\\qmsrv\\lang\\a_2052.lng\", UPDATE | ADD_REF_COUNT\r\n"
      "COPY \"{TMP}\\a_1033.lng\", \"{DEST}\\qmsrv\\lang\\a_1033.lng\", UPDATE | ADD_REF_COUNT\r\n"
      "[delete]\r\n"
      "DEL \"{DEST}\\qmsrv\\lib.dll\", CHECK_REF_COUNT\r\n"
      "DEL \"{DEST}\\qmsrv\\slotmon\\mon.dll\", CHECK_REF_COUNT\r\n"
      "DEL \"{DEST}\\qmsrv\\slotmon\\mon.sig\", CHECK_REF_COUNT\r\n"
      "DEL \"{DEST}\\qmsrv\\lang\\a_2052.lng\", CHECK_REF_COUNT\r\n"
      "DEL \"{DEST}\\qmsrv\\lang\\a_1033.lng\", CHECK_REF_COUNT\r\n";
  Prepare(install, {{"bin\\lib.dll", Payload("ver_1_0_1_0")}, {"res\\mon.dll", Payload("ver_2_5_3_1200")},
                    {"mon.sig", "sig"}, {"a_2052.lng", "zh"}, {"a_1033.lng", "en"}});
  KeepTree();
  const std::string root = dest_ + "\\qmsrv";
  const Lines files = {root + "\\lib.dll", root + "\\slotmon\\mon.dll", root + "\\slotmon\\mon.sig",
                       root + "\\lang\\a_2052.lng", root + "\\lang\\a_1033.lng"};
  EXPECT_EQ(Step("copy"), 0);
  EXPECT_EQ(Step("copy"), 0) << "the second product: equal versions, text files copied again";
  for (const std::string& f : files) {
    EXPECT_TRUE(qmtest::FileExists(f)) << f;
    EXPECT_EQ(Count(f), 2) << f;
  }
  EXPECT_EQ(Step("delete"), 0);
  for (const std::string& f : files) {
    EXPECT_TRUE(qmtest::FileExists(f)) << "still used by the other product: " << f;
    EXPECT_EQ(Count(f), 1) << f;
  }
  EXPECT_EQ(Step("delete"), 0);
  for (const std::string& f : files) EXPECT_FALSE(qmtest::FileExists(f)) << f;
  EXPECT_FALSE(qmtest::FileExists(root + "\\slotmon"));
  EXPECT_FALSE(qmtest::FileExists(root + "\\lang"));
  EXPECT_FALSE(qmtest::RegistryKeyExists("Software\\QMSrv\\Ref"));
}

}  // namespace

// COPY and COPYIF through DoStep: the version rule, the flags, folders, attributes, files in use,
// reference counts and every log line.
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "base/fs.h"
#include "base/win/reg_key.h"
#include "engine/script/paths.h"
#include "tests/win/engine_fixture.h"
#include "tests/win/file_command_fixture.h"
#include "tests/win/test_support.h"

namespace {

using qmtest::Lines;

class CopyTest : public qmtest::FileCommandTest {};

TEST_F(CopyTest, VersionRule) {
  struct Row {
    const char* source;  // a versioned library, or "text" (no version resource)
    const char* target;  // the same, or "" for no target
    const char* tag;
    bool copied;
  };
  const Row rows[] = {
      {"ver_1_0_0_931", "ver_1_0_0_930", " OK./QM_DEST_VERSION_OLD", true},
      {"ver_1_0_0_930", "ver_1_0_0_931", " OK./QM_DEST_DVERSION_NEW", false},  // field by field
      {"ver_1_0_1_0", "ver_1_0_0_12", " OK./QM_DEST_VERSION_OLD", true},
      {"ver_1_0_0_12", "ver_1_0_1_0", " OK./QM_DEST_DVERSION_NEW", false},
      {"ver_2_5_3_1200", "ver_2_5_3_1200", " OK./QM_DEST_DVERSION_EQUAL", false},
      {"ver_2_5_3_1200", "", " OK./QM_EVER_INSTALL", true},
      {"text", "ver_1_0_0_12", " OK./QM_EVER_INSTALL", true},
      {"ver_0_0_0_0", "ver_2_5_3_1200", " OK./QM_EVER_INSTALL", true},  // 0.0.0.0 is no version
      {"ver_2_5_3_1200", "text", " OK./QM_EVER_INSTALL", true},
  };
  qmtest::PackageFiles payload;
  std::string chapters;
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    payload.push_back({"src" + std::to_string(i) + ".dll", Payload(rows[i].source)});
    chapters += "[row" + std::to_string(i) + "]\r\nCOPY \"{TMP}\\src" + std::to_string(i) + ".dll\", \"{DEST}\\t" +
                std::to_string(i) + ".dll\", UPDATE\r\n";
  }
  Prepare(chapters, payload);
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(std::string(row.source) + " over " + row.target);
    const std::string n = std::to_string(i);
    const std::string source = unpack_ + "\\src" + n + ".dll", target = dest_ + "\\t" + n + ".dll";
    if (*row.target) {
      ASSERT_TRUE(qmtest::WriteFileBytes(target, Payload(row.target)));
    }
    const std::string before = qmtest::ReadFileBytes(target);
    EXPECT_EQ(Step("row" + n), 0);
    EXPECT_EQ(qmtest::ReadFileBytes(target), row.copied ? Payload(row.source) : before);
    EXPECT_EQ(Body(), (Lines{(row.copied ? "Copy " : "Not need Copy ") + source + " to" + target + row.tag}));
  }
}

TEST_F(CopyTest, FlagsAndReferences) {
  struct Row {
    const char* flags;
    bool target_newer;
    Lines body;  // {S} source, {T} target
    int references;
  };
  const Row rows[] = {
      {"UPDATE | ADD_REF_COUNT", false, {"Copy {S} to{T} OK./QM_EVER_INSTALL", "Copy over Add Ref Count {T} OK."}, 1},
      {" UPDATE\t|\tADD_REF_COUNT ", true,
       {"Not need Copy {S} to{T} OK./QM_DEST_DVERSION_NEW", "Copy over Add Ref Count {T} OK."}, 1},
      {"UPDATE|OVERWRITE", true, {"Not need Copy {S} to{T} OK./QM_DEST_DVERSION_NEW", "Copy {S} to{T} OK./OVERWRITE"}, 0},
      {"OVERWRITE|UPDATE", false, {"Copy {S} to{T} OK./QM_EVER_INSTALL", "Copy {S} to{T} OK./OVERWRITE"}, 0},
      {"update|ADD_REFCOUNT|Overwrite", false, {}, 0},  // no flag at all: nothing happens
      {"", false, {}, 0},
  };
  std::string chapters;
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    chapters += "[row" + std::to_string(i) + "]\r\nCOPY \"{TMP}\\old.dll\", \"{DEST}\\f" + std::to_string(i) + ".dll\", " +
                rows[i].flags + "\r\n";
  Prepare(chapters, {{"old.dll", Payload("ver_1_0_0_12")}});
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    const Row& row = rows[i];
    SCOPED_TRACE(row.flags);
    const std::string target = dest_ + "\\f" + std::to_string(i) + ".dll";
    if (row.target_newer) {
      ASSERT_TRUE(qmtest::WriteFileBytes(target, Payload("ver_2_5_3_1200")));
    }
    EXPECT_EQ(Step("row" + std::to_string(i)), 0);
    EXPECT_EQ(Body(), Subst(row.body, unpack_ + "\\old.dll", target));
    EXPECT_EQ(Count(target), row.references);
  }
}

TEST_F(CopyTest, CopyIfFollowsTheLastCopyAcrossChapters) {
  Prepare("[copyif]\r\nCOPYIF \"{TMP}\\sig.txt\", \"{DEST}\\sig.txt\", UPDATE|ADD_REF_COUNT\r\n"
          "[copies]\r\nCOPY \"{TMP}\\a.dll\", \"{DEST}\\a.dll\", UPDATE\r\n"
          "[keeps]\r\nCOPY \"{TMP}\\a.dll\", \"{DEST}\\a.dll\", UPDATE\r\n",
          {{"a.dll", Payload("ver_1_0_0_12")}, {"sig.txt", "signature"}});
  const std::string sig = dest_ + "\\sig.txt";
  EXPECT_EQ(Step("copyif"), 0);
  EXPECT_FALSE(qmtest::FileExists(sig)) << "no COPY has copied yet in this load";
  EXPECT_EQ(Body(), (Lines{"Copy over Add Ref Count " + sig + " OK."})) << "the reference is added all the same";
  EXPECT_EQ(Step("copies"), 0);
  EXPECT_EQ(Step("copyif"), 0) << "another DoStep, another chapter";
  EXPECT_EQ(qmtest::ReadFileBytes(sig), "signature");
  EXPECT_EQ(Body(), (Lines{"Copy " + unpack_ + "\\sig.txt to" + sig + " OK./Copy_If", "Copy over Add Ref Count " + sig + " OK."}));
  EXPECT_EQ(Step("keeps"), 0) << "equal versions: no copy";
  ::DeleteFileA(sig.c_str());
  EXPECT_EQ(Step("copyif"), 0);
  EXPECT_FALSE(qmtest::FileExists(sig));
  EXPECT_EQ(Count(sig), 3);
}

TEST_F(CopyTest, FoldersAndAttributes) {
  Prepare("[deep]\r\nCOPY \"{TMP}\\ro.txt\", \"{DEST}\\a\\b\\c\\ro.txt\", OVERWRITE\r\n"
          "[over]\r\nCOPY \"{TMP}\\new.txt\", \"{DEST}\\locked.txt\", OVERWRITE\r\n",
          {{"ro.txt", "read-only source"}, {"new.txt", "new"}});
  ASSERT_TRUE(::SetFileAttributesA((unpack_ + "\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Step("deep"), 0);
  const std::string deep = dest_ + "\\a\\b\\c\\ro.txt";
  EXPECT_EQ(qmtest::ReadFileBytes(deep), "read-only source");
  EXPECT_FALSE(::GetFileAttributesA(deep.c_str()) & FILE_ATTRIBUTE_READONLY) << "the copy is writable";

  const std::string locked = dest_ + "\\locked.txt";
  ASSERT_TRUE(qmtest::WriteFileBytes(locked, "old"));
  ASSERT_TRUE(::SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(Step("over"), 0);
  EXPECT_EQ(qmtest::ReadFileBytes(locked), "new") << "a read-only target is replaced";
  ::SetFileAttributesA((unpack_ + "\\ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(CopyTest, TargetInUseIsReplacedAtTheNextRestart) {
  Prepare("[busy]\r\nCOPY \"{TMP}\\new.dll\", \"{DEST}\\busy.dll\", OVERWRITE|ADD_REF_COUNT\r\n",
          {{"new.dll", Payload("ver_2_5_3_1200")}});
  const std::string busy = dest_ + "\\busy.dll", source = unpack_ + "\\new.dll";
  ASSERT_TRUE(qmtest::WriteFileBytes(busy, Payload("ver_1_0_0_12")));
  qmtest::FileHolder holder(busy, "load");
  ASSERT_TRUE(holder.holding());
  EXPECT_EQ(Step("busy"), 0);
  EXPECT_EQ(Body(), (Lines{"Need reboot to Copy from " + source + " to" + busy + " OK.",
                           "Copy " + source + " to" + busy + " OK./OVERWRITE", "Copy over Add Ref Count " + busy + " OK."}));
  EXPECT_EQ(qmtest::ReadFileBytes(busy), Payload("ver_2_5_3_1200"));
  EXPECT_EQ(qmtest::ReadFileBytes(busy + ".OLD"), Payload("ver_1_0_0_12"));
  EXPECT_EQ(FinishCode(), 12) << "the replacement asks for a restart";

  // The new file in use too: a second replacement before the restart cannot move it aside, as
  // the first one's old file still waits there. The chapter stops.
  qmtest::FileHolder second(busy, "load");
  ASSERT_TRUE(second.holding());
  EXPECT_EQ(Step("busy"), 16);
  EXPECT_EQ(Count(busy), 1) << "no reference for a file that was not installed";
  const Lines body = Body();
  ASSERT_EQ(body.size(), 1u);
  EXPECT_EQ(body[0].find("Copy " + source + " to" + busy +
                         " failed: the target is in use and cannot be replaced at the next restart LastErr:0x"),
            0u)
      << body[0];
}

// A copy over an installed file is made beside it first, under a side name of ours, and takes
// its place only when it is whole: a copy that fails leaves the installed file as it was and
// nothing of itself.
TEST_F(CopyTest, FailedCopyLeavesTheInstalledFileAsItWas) {
  Prepare("[over]\r\nCOPY \"{TMP}\\a.txt\", \"{DEST}\\a.txt\", OVERWRITE|ADD_REF_COUNT\r\n"
          "[fresh]\r\nCOPY \"{TMP}\\a.txt\", \"{DEST}\\b.txt\", OVERWRITE|ADD_REF_COUNT\r\n",
          {{"a.txt", "new"}});
  const std::string installed = dest_ + "\\a.txt", source = unpack_ + "\\a.txt";
  const std::string side_a = qm::CopySideFile(installed), side_b = qm::CopySideFile(dest_ + "\\b.txt");
  ASSERT_EQ(side_a.find(dest_ + "\\~qm"), 0u);
  ASSERT_NE(side_a, side_b);
  ASSERT_TRUE(qmtest::WriteFileBytes(installed, "installed"));
  ASSERT_TRUE(qmtest::WriteFileBytes(installed + ".NEW", "a user's own file"));
  {
    qmtest::FileHolder locked(source);  // the copy cannot read its source
    ASSERT_TRUE(locked.holding());
    EXPECT_EQ(Step("over"), 10);
    EXPECT_EQ(Body(), (Lines{"Copy " + source + " to" + installed + " failed: the file cannot be copied LastErr:0x00000020."}));
    EXPECT_EQ(Step("fresh"), 10);
  }
  EXPECT_EQ(qmtest::ReadFileBytes(installed), "installed");
  EXPECT_FALSE(qmtest::FileExists(side_a));
  EXPECT_FALSE(qmtest::FileExists(dest_ + "\\b.txt")) << "no part of a new file either";
  EXPECT_EQ(Count(installed), 0);

  // What a run that was stopped between the two steps leaves beside the target goes with the next copy.
  ASSERT_TRUE(qmtest::WriteFileBytes(side_a, "half"));
  ASSERT_TRUE(qmtest::WriteFileBytes(side_b, "half"));
  EXPECT_EQ(Step("over"), 0);
  EXPECT_EQ(Step("fresh"), 0);
  EXPECT_EQ(qmtest::ReadFileBytes(installed), "new");
  EXPECT_EQ(qmtest::ReadFileBytes(dest_ + "\\b.txt"), "new");
  EXPECT_FALSE(qmtest::FileExists(side_a));
  EXPECT_FALSE(qmtest::FileExists(side_b));
  EXPECT_EQ(qmtest::ReadFileBytes(installed + ".NEW"), "a user's own file") << "never touched";
}

// Targets up to 259 characters are copied over: beside them while a side name fits their folder,
// in place where none does.
TEST_F(CopyTest, LongTargetsAreCopiedOver) {
  std::string deep = dest_;
  while (deep.size() < 230) deep += "\\" + std::string(std::min<size_t>(20, 235 - deep.size()), 'd');
  const std::string beside = deep + "\\" + std::string(258 - deep.size() - 1, 'b');  // 258 characters
  std::string deeper = deep + "\\" + std::string(246 - deep.size() - 1, 'e');      // 246: no side name fits
  const std::string in_place = deeper + "\\" + std::string(259 - deeper.size() - 1, 'p');
  ASSERT_EQ(beside.size(), 258u);
  ASSERT_EQ(in_place.size(), 259u);
  ASSERT_FALSE(qm::CopySideFile(beside).empty());
  ASSERT_TRUE(qm::CopySideFile(in_place).empty());
  Prepare("[beside]\r\nCOPY \"{TMP}\\a.txt\", \"" + beside + "\", OVERWRITE\r\n"
          "[in_place]\r\nCOPY \"{TMP}\\a.txt\", \"" + in_place + "\", OVERWRITE\r\n",
          {{"a.txt", "new"}});
  for (const std::string& target : {beside, in_place}) {
    SCOPED_TRACE(target.size());
    ASSERT_TRUE(qm::FsCreateFolderChain(qm::PathFolderOf(target)));
    ASSERT_TRUE(qmtest::WriteFileBytes(target, "installed"));
    EXPECT_EQ(Step(target == beside ? "beside" : "in_place"), 0);
    EXPECT_EQ(qmtest::ReadFileBytes(target), "new");
    EXPECT_EQ(qmtest::ListTree(qm::PathFolderOf(target), false).size(), 1u) << "nothing beside it";
  }
}

// Only a target resolved against the host's current folder is refused; a rooted one and one with
// forward slashes are absolute too. Lines that do nothing say nothing, whatever their path.
TEST_F(CopyTest, TargetsRelativeToTheCurrentFolderAreRefused) {
  const std::string rooted = dest_.substr(2);  // "\users\...": on the current drive
  const std::string slashed = dest_.substr(0, 2) + "/" + dest_.substr(3);
  struct Row {
    std::string line;
    int code;
    Lines body;
    const char* copied;  // below {DEST}, or ""
  };
  const Row rows[] = {
      {"COPY \"{TMP}\\a.txt\", \"rel.txt\", OVERWRITE", 2, {"COPY target is relative to the current folder: rel.txt"}, ""},
      {"COPY \"{TMP}\\a.txt\", \"C:rel.txt\", UPDATE", 2, {"COPY target is relative to the current folder: C:rel.txt"}, ""},
      {"COPYIF \"{TMP}\\a.txt\", \"rel.txt\", ADD_REF_COUNT", 2,
       {"COPYIF target is relative to the current folder: rel.txt"}, ""},
      {"COPY \"{TMP}\\a.txt\", \"rel.txt\", update", 0, {}, ""},   // no flag: nothing
      {"COPYIF \"{TMP}\\a.txt\", \"rel.txt\", OVERWRITE", 0, {}, ""},  // no COPY copied
      {"COPY \"{TMP}\\a.txt\", \"" + rooted + "\\r1.txt\", OVERWRITE", 0, {"Copy {S} to" + rooted + "\\r1.txt OK./OVERWRITE"}, "r1.txt"},
      {"COPY \"{TMP}\\a.txt\", \"" + slashed + "/r2.txt\", OVERWRITE", 0, {"Copy {S} to" + slashed + "/r2.txt OK./OVERWRITE"}, "r2.txt"},
  };
  std::string chapters;
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    chapters += "[row" + std::to_string(i) + "]\r\n" + rows[i].line + "\r\n";
  Prepare(chapters, {{"a.txt", "a"}});
  qmtest::CurrentFolder current(folder_);  // on the drive of {DEST}
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    SCOPED_TRACE(rows[i].line);
    EXPECT_EQ(Step("row" + std::to_string(i)), rows[i].code);
    EXPECT_EQ(Body(), Subst(rows[i].body, unpack_ + "\\a.txt", ""));
    if (*rows[i].copied) {
      EXPECT_EQ(qmtest::ReadFileBytes(dest_ + "\\" + rows[i].copied), "a");
    }
  }
  EXPECT_FALSE(qmtest::FileExists(folder_ + "\\rel.txt"));
  EXPECT_EQ(Count("rel.txt"), 0);
}

TEST_F(CopyTest, FailuresStopTheChapter) {
  struct Row {
    const char* line;
    int code;
    const char* log;  // the first line, {U} unpack folder, {D} destination
  };
  const std::string long_name(250, 'x');
  const std::string too_long = "COPY \"{TMP}\\a.txt\", \"{DEST}\\" + long_name + "\", OVERWRITE";
  const Row rows[] = {
      {"COPY \"{TMP}\\missing.txt\", \"{DEST}\\m.txt\", UPDATE|ADD_REF_COUNT", 4,
       "Copy {U}\\missing.txt to{D}\\m.txt failed: the source does not exist."},
      {"COPY \"{NOPE}\\a.txt\", \"{DEST}\\n.txt\", OVERWRITE", 4, "Want to Get Common error :{NOPE} Not exist."},
      {"COPY \"{TMP}\\a.txt\", \"{NOPE}\\n.txt\", OVERWRITE", 5, "Want to Get Common error :{NOPE} Not exist."},
      {"COPY \"{TMP}\\a.txt\", \"{DEST}\\file.txt\\sub\\n.txt\", OVERWRITE", 10,
       "Copy {U}\\a.txt to{D}\\file.txt\\sub\\n.txt failed: the target folder cannot be created. LastErr:"},
      {"COPY \"{TMP}\\a.txt\" \"{DEST}\\n.txt\", OVERWRITE", 2, "COPY data invalid, a source and a target in double quotes"},
      {"COPY {TMP}\\a.txt, {DEST}\\n.txt, OVERWRITE", 2, "COPY data invalid, a source and a target in double quotes"},
      {"COPYIF \"{TMP}\\a.txt\", {DEST}, OVERWRITE", 2, "COPYIF data invalid, a source and a target in double quotes"},
      {too_long.c_str(), 2, "Copy target is longer than 259 characters: {D}\\x"},
  };
  std::string chapters;
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i)
    chapters += "[row" + std::to_string(i) + "]\r\n" + rows[i].line + "\r\nCHECK \"never reached\"\r\n";
  Prepare(chapters, {{"a.txt", "a"}});
  ASSERT_TRUE(qmtest::WriteFileBytes(dest_ + "\\file.txt", "a file where a folder would go"));
  for (size_t i = 0; i < sizeof(rows) / sizeof(rows[0]); ++i) {
    SCOPED_TRACE(rows[i].line);
    EXPECT_EQ(Step("row" + std::to_string(i)), rows[i].code);
    Lines body = Body();
    ASSERT_FALSE(body.empty());
    EXPECT_EQ(body[0].find(Subst({rows[i].log}, unpack_, dest_)[0]), 0u) << body[0];
    EXPECT_EQ(Count(dest_ + "\\m.txt"), 0);
  }
}

}  // namespace

// A full disk and a read-only product folder: the Program Files folder is moved (ProgramFilesDir)
// to a small file system that disk_test.sh mounts and maps as the Wine drive named by
// QM_FAULT_DRIVE. COPY must report the failure (engine code 10 with " LastErr:" and the reason in
// the log), the front 2, and nothing already installed may be damaged.
//   FullDisk.*          one process, the disk filled by a file the tests write
//   ReadOnly.Phase1-3   three processes; disk_test.sh makes the file system read-only for phase 2
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "tests/faults/fault_support.h"

namespace {

using qmfault::Describe;
using qmfault::Lines;
using qmfault::Report;
using qmfault::Snapshot;
using qmfault::TakeSnapshot;

constexpr char kSecond[] = "KX2B.dat";
constexpr char kThird[] = "KX2C.dat";
constexpr char kThirdProduct[] = "6F1C2E4A-3B7D-4C59-9E21-0A8B7D6C5E43_KX2TOKENPRO";

std::string Drive() {
  char drive[8] = {};
  if (!::GetEnvironmentVariableA("QM_FAULT_DRIVE", drive, sizeof(drive))) return std::string();
  return drive;
}

std::string Filler() { return Drive() + "\\filler.bin"; }

ULONGLONG FreeBytes() {
  ULARGE_INTEGER free_bytes = {};
  ::GetDiskFreeSpaceExA((Drive() + "\\").c_str(), &free_bytes, nullptr, nullptr);
  return free_bytes.QuadPart;
}

// Writes the filler until at most |leave| bytes are free (0: until the disk is full).
void FillDisk(ULONGLONG leave) {
  qm::ScopedHandle file(::CreateFileA(Filler().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr));
  ASSERT_TRUE(file);
  ::SetFilePointer(file.get(), 0, nullptr, FILE_END);
  std::string block(64 * 1024, '\0');
  for (;;) {
    const ULONGLONG free_now = FreeBytes();
    if (free_now <= leave) break;
    DWORD want = static_cast<DWORD>(std::min<ULONGLONG>(block.size(), leave ? free_now - leave : block.size()));
    DWORD written = 0;
    if (!::WriteFile(file.get(), block.data(), want, &written, nullptr) || written == 0) break;
  }
}

// The bytes of every target of the copy chapter.
std::vector<std::string> TargetBytes() {
  std::vector<std::string> bytes;
  for (const qmfault::CopyPair& pair : qmfault::CopyPairs()) bytes.push_back(qmtest::ReadFileBytes(pair.target));
  return bytes;
}

// The targets whose bytes are not |before| any more, with their size then and now.
Lines Changed(const std::vector<std::string>& before) {
  Lines changed;
  const std::vector<qmfault::CopyPair> pairs = qmfault::CopyPairs();
  const std::vector<std::string> now = TargetBytes();
  for (size_t i = 0; i < pairs.size() && i < before.size(); ++i)
    if (now[i] != before[i])
      changed.push_back(pairs[i].target + " " + std::to_string(before[i].size()) + " -> " +
                        (qmtest::FileExists(pairs[i].target) ? std::to_string(now[i].size()) : std::string("gone")));
  return changed;
}

// Log lines after |mark| that contain |text|.
Lines LogLinesWith(size_t mark, const std::string& text) {
  Lines found;
  const Lines lines = qmtest::EngineLogLines();
  for (size_t i = mark; i < lines.size(); ++i)
    if (lines[i].find(text) != std::string::npos) found.push_back(lines[i]);
  return found;
}

std::string First(const Lines& lines) { return lines.empty() ? std::string("(no such line)") : lines[0]; }

size_t BytesBelowProductFolder(const qmtest::PackageFiles& package) {
  size_t total = 0;
  for (const qmfault::CopyPair& pair : qmfault::CopyPairs())
    if (pair.target.compare(0, qmfault::ProductFolder().size(), qmfault::ProductFolder()) == 0)
      total += qmfault::PackageFile(package, pair.package_path).size();
  return total;
}

// Files below the product folder that none of the copy chapter's targets is (a partial copy
// under another name, a .OLD, ...), the daemons' logs left out.
Lines StrangerFiles(const Snapshot& s) {
  Lines strangers;
  const std::vector<qmfault::CopyPair> pairs = qmfault::CopyPairs();
  for (const std::string& line : s.product_files) {
    const std::string path = qmfault::ProductFolder() + "\\" + line.substr(0, line.rfind(' '));
    if (path.find("\\log\\") != std::string::npos) continue;
    bool known = false;
    for (const qmfault::CopyPair& pair : pairs) known |= pair.target == path;
    if (!known) strangers.push_back(path);
  }
  return strangers;
}

class FullDisk : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Drive().empty()) GTEST_SKIP() << "run by disk_test.sh, which maps the small file system as QM_FAULT_DRIVE";
    qmfault::CleanEverything();
    ::CreateDirectoryA((Drive() + "\\Program Files").c_str(), nullptr);
    qmfault::SetProgramFilesFolder(Drive() + "\\Program Files");
  }
  void TearDown() override {
    if (Drive().empty()) return;
    ::DeleteFileA(Filler().c_str());
    qmfault::CleanEverything();  // below the small disk's Program Files
    qmfault::RestoreProgramFilesFolder();
    qmfault::CleanEverything();
    EXPECT_EQ(qmfault::WhatIsLeft(TakeSnapshot()), "");
  }
};

TEST_F(FullDisk, FreshInstallStopsAtTheFirstFileThatDoesNotFit) {
  const size_t needed = BytesBelowProductFolder(qmfault::ShippedPackage());
  FillDisk(needed / 2);
  const ULONGLONG free_before = FreeBytes();
  const size_t mark = qmfault::LogLineCount();
  EXPECT_EQ(qmfault::FrontInstall(), qm::FrontResult::kEngineFailed);
  const Lines failed = LogLinesWith(mark, " failed: ");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_NE(failed[0].find("the file cannot be copied LastErr:0x00000070."), std::string::npos) << failed[0];
  EXPECT_EQ(LogLinesWith(mark, "Return Err:0x0000000a").size(), 1u);
  Snapshot s = TakeSnapshot();
  Report("full disk, a fresh install with " + std::to_string(free_before / 1024) + " KB free for " +
         std::to_string(needed / 1024) + " KB: kx_Install 2; the log: \"" + failed[0] + "\"\n" + Describe(s, false));
  EXPECT_EQ(StrangerFiles(s), Lines{}) << "no partial copy is left";
  // What is there is whole, and counted.
  size_t whole = 0;
  for (const qmfault::CopyPair& pair : qmfault::CopyPairs()) {
    const std::string bytes = qmtest::ReadFileBytes(pair.target);
    if (!qmtest::FileExists(pair.target)) continue;
    EXPECT_TRUE(bytes == qmfault::PackageFile(qmfault::ShippedPackage(), pair.package_path))
        << pair.target << " holds " << bytes.size() << " bytes";
    ++whole;
  }
  EXPECT_GT(whole, 0u);
  for (const std::string& line : s.registry) EXPECT_NE(line.compare(0, 8, "Product|"), 0) << "not recorded: " << line;

  // The front's removal finds no record and does nothing; the one-call removal runs its list.
  EXPECT_EQ(qmfault::FrontUninstall(), qm::FrontResult::kOk);
  EXPECT_EQ(Describe(TakeSnapshot(), false), Describe(s, false));
  const qmfault::EngineFolder engine = qmfault::MakeEngineFolder("full_disk");
  qmfault::WritePackageBeside(engine, "KX2.dat", qmfault::ShippedPackage());
  EXPECT_EQ(qmfault::OneCallUninstall(engine, "KX2.dat"), 0);
  qmfault::Restart();
  s = TakeSnapshot();
  Report("full disk, after kx_Uninstall (0, nothing done: no record) and instMW_Uninstall (0):\n" + Describe(s, false));
  EXPECT_EQ(qmfault::WhatIsLeft(s), "");
  qmtest::DeleteTree(engine.folder);
}

TEST_F(FullDisk, EarlierInstallKeepsItsFiles) {
  ASSERT_EQ(qmfault::FrontInstall(), qm::FrontResult::kOk);
  const std::vector<std::string> installed = TargetBytes();
  const Snapshot first = TakeSnapshot();
  FillDisk(0);
  const ULONGLONG free_left = FreeBytes();

  const qmfault::EngineFolder engine = qmfault::MakeEngineFolder("full_disk_more");
  qmfault::WritePackageBeside(engine, kSecond, qmfault::SecondProductPackage(qmfault::kSecondProduct, 0));
  qmfault::WritePackageBeside(engine, kThird, qmfault::SecondProductPackage(kThirdProduct, 1, 64 * 1024));
  // C, newer and bigger daemons and libraries, some of them in use by the running daemons.
  size_t mark = qmfault::LogLineCount();
  EXPECT_EQ(qmfault::OneCallInstall(engine, kThird), 2);
  const Lines failed_c = LogLinesWith(mark, " failed: ");
  EXPECT_EQ(failed_c.size(), 1u);
  EXPECT_NE(First(failed_c).find(" LastErr:0x00000070."), std::string::npos) << First(failed_c);
  const Lines changed = Changed(installed);
  EXPECT_EQ(changed, Lines{}) << "the installed files are untouched";
  Snapshot s = TakeSnapshot();
  EXPECT_EQ(StrangerFiles(s), Lines{});
  EXPECT_EQ(s.old_files, Lines{});

  // B, same versions: its files without a version resource are copied again.
  mark = qmfault::LogLineCount();
  EXPECT_EQ(qmfault::OneCallInstall(engine, kSecond), 2) << "the copy chapter failed";
  const Lines failed_b = LogLinesWith(mark, " failed: ");
  EXPECT_EQ(failed_b.size(), 1u);
  EXPECT_NE(First(failed_b).find(" LastErr:0x00000070."), std::string::npos) << First(failed_b);
  EXPECT_EQ(Changed(installed), Lines{}) << "the installed files are untouched";
  s = TakeSnapshot();
  EXPECT_EQ(StrangerFiles(s), Lines{});
  EXPECT_EQ(s.old_files, Lines{});
  EXPECT_EQ(s.pending, Lines{});
  EXPECT_EQ(s.services, first.services) << "the daemons still run";
  Report("full disk (" + std::to_string(free_left) + " bytes free) after an install: B (same versions) 2, \"" +
         First(failed_b) + "\"; C (newer daemons, 64 KB bigger) 2, \"" + First(failed_c) + "\"; installed files changed: " +
         std::to_string(changed.size()) + "\n" + [&] {
           std::string text;
           for (const std::string& line : changed) text += "    changed: " + line + "\n";
           return text;
         }() + Describe(s, false));

  ::DeleteFileA(Filler().c_str());
  EXPECT_EQ(qmfault::FrontUninstall(), qm::FrontResult::kOk);
  qmfault::Restart();
  s = TakeSnapshot();
  Report("full disk, A removed again (the counts B and C raised before they failed stay):\n" + Describe(s, false));
  qmtest::DeleteTree(engine.folder);
}

// --- Read-only: three processes, the file system made read-only between the first two ---------

std::string SavedFolderFile() { return qmtest::TempPath() + "qmtest_fault_readonly_pf.txt"; }

qmfault::EngineFolder ReadOnlyEngine() {
  qmfault::EngineFolder engine;
  engine.folder = qmtest::TempPath() + "qmtest_fault_readonly";
  engine.engine = engine.folder + "\\QMSetup.dll";
  if (!qmtest::FileExists(engine.engine)) {
    engine = qmfault::MakeEngineFolder("readonly");
    qmfault::WritePackageBeside(engine, kSecond, qmfault::SecondProductPackage(qmfault::kSecondProduct, 0));
  }
  return engine;
}

class ReadOnly : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Drive().empty()) GTEST_SKIP() << "run by disk_test.sh, which maps the small file system as QM_FAULT_DRIVE";
  }
  static std::string Folder() { return Drive() + "\\Program Files"; }
};

TEST_F(ReadOnly, Phase1InstallOnTheWritableDisk) {
  qmfault::CleanEverything();
  qmtest::WriteFileBytes(SavedFolderFile(), qmfault::ProgramFilesFolder());
  ::CreateDirectoryA(Folder().c_str(), nullptr);
  qmfault::SetProgramFilesFolder(Folder());
  ASSERT_EQ(qmfault::FrontInstall(), qm::FrontResult::kOk);
  EXPECT_EQ(qmfault::ServiceState(qmfault::kSlotService), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(ReadOnly, Phase2InstallIntoTheReadOnlyFolder) {
  ASSERT_EQ(qmfault::ProgramFilesFolder(), Folder());
  ASSERT_FALSE(::CreateDirectoryA((Drive() + "\\probe").c_str(), nullptr)) << "the file system is not read-only";
  const std::vector<std::string> installed = TargetBytes();
  const qmfault::EngineFolder engine = ReadOnlyEngine();
  size_t mark = qmfault::LogLineCount();
  EXPECT_EQ(qmfault::OneCallInstall(engine, kSecond), 2);
  const Lines failed = LogLinesWith(mark, " failed: ");
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_NE(failed[0].find(" LastErr:"), std::string::npos) << failed[0];
  EXPECT_EQ(LogLinesWith(mark, "Return Err:0x0000000a").size(), 1u);
  EXPECT_EQ(Changed(installed), Lines{}) << "the installed files are untouched";
  Snapshot s = TakeSnapshot();
  EXPECT_EQ(StrangerFiles(s), Lines{});

  // A folder that does not exist yet cannot be made there.
  qmfault::SetProgramFilesFolder(Drive() + "\\Elsewhere");
  mark = qmfault::LogLineCount();
  EXPECT_EQ(qmfault::OneCallInstall(engine, kSecond), 2);
  const Lines folder_failed = LogLinesWith(mark, " failed: ");
  ASSERT_EQ(folder_failed.size(), 1u);
  EXPECT_NE(folder_failed[0].find("the target folder cannot be created. LastErr:"), std::string::npos)
      << folder_failed[0];
  qmfault::SetProgramFilesFolder(Folder());
  Report("read-only product folder: B 2, \"" + failed[0] + "\"; into a new folder: 2, \"" + folder_failed[0] +
         "\"; the installed files unchanged\n" + Describe(s, false));
}

TEST_F(ReadOnly, Phase3RemoveOnTheWritableDiskAgain) {
  const qmfault::EngineFolder engine = ReadOnlyEngine();
  EXPECT_EQ(qmfault::OneCallUninstall(engine, kSecond), 0);
  EXPECT_EQ(qmfault::FrontUninstall(), qm::FrontResult::kOk);
  qmfault::Restart();
  const Snapshot s = TakeSnapshot();
  Report("read-only, after removing B (its counts) and A on the writable disk:\n" + Describe(s, false));
  EXPECT_EQ(qmfault::WhatIsLeft(s), "");
  qmfault::CleanEverything();
  const std::string saved = qmtest::ReadFileBytes(SavedFolderFile());
  if (!saved.empty()) qmfault::SetProgramFilesFolder(saved);  // this process never changed it before
  ::DeleteFileA(SavedFolderFile().c_str());
  qmfault::CleanEverything();
  qmtest::DeleteTree(engine.folder);
}

}  // namespace

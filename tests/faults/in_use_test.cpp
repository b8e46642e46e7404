// Files in use: a second product of the family with newer daemons installed over the running
// ones, the restart that finishes the replacement, and the removal while the daemons run and an
// application still has the PKCS#11 module loaded; on NT and with the engine on Windows 98.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "tests/faults/fault_support.h"

namespace {

using qmfault::Describe;
using qmfault::Lines;
using qmfault::Report;
using qmfault::Snapshot;
using qmfault::TakeSnapshot;

constexpr char kSecondPackage[] = "KX2B.dat";

class InUse : public qmfault::CleanSlateTest {
 protected:
  static bool IsRuntimeImage(const std::string& package_path) {
    const Lines& images = qmfault::RuntimeImages();
    return std::find(images.begin(), images.end(), package_path) != images.end();
  }
  // Targets whose bytes are not those of |package|.
  static Lines NotFrom(const qmtest::PackageFiles& package) {
    Lines differ;
    for (const qmfault::CopyPair& pair : qmfault::CopyPairs())
      if (qmtest::ReadFileBytes(pair.target) != qmfault::PackageFile(package, pair.package_path))
        differ.push_back(pair.target);
    return differ;
  }
  static std::string Quoted(const std::string& path) { return "\\??\\" + path; }
  // "<path> <size>" as a snapshot lists a file of |package| that is installed.
  static std::string Listed(const qmtest::PackageFiles& package, const std::string& path) {
    return path + " " + std::to_string(qmfault::PackageFile(package, path).size());
  }
  // Files below the product folder, the daemons' logs left out.
  static size_t Installed(const Snapshot& s) {
    size_t n = 0;
    for (const std::string& line : s.product_files) n += line.compare(0, 4, "log\\") != 0;
    return n;
  }
  // Folders below (and with) the product folder.
  static Lines Folders() {
    Lines folders;
    const std::string product = qmfault::ProductFolder();
    if (!qmtest::FileExists(product)) return folders;
    folders.push_back("qmsrv");
    for (const char* sub : {"slotmon", "tsp", "lang", "conf", "log"})
      if (qmtest::FileExists(product + "\\" + sub)) folders.push_back(std::string("qmsrv\\") + sub);
    return folders;
  }
};

// NT: the in-use targets go to "<target>.OLD", the new file takes their place and the .OLD files
// are deleted at the restart; nothing else is pending.
TEST_F(InUse, NtNewerDaemonsOverRunningOnesThenRemovalWhileTheyRun) {
  ASSERT_EQ(qmfault::FrontInstall(), qm::FrontResult::kOk);
  ASSERT_EQ(qmfault::ServiceState(qmfault::kSlotService), static_cast<DWORD>(SERVICE_RUNNING));
  ASSERT_EQ(qmfault::ServiceState(qmfault::kCertService), static_cast<DWORD>(SERVICE_RUNNING));

  const qmfault::EngineFolder engine = qmfault::MakeEngineFolder("in_use_nt");
  const qmtest::PackageFiles second = qmfault::SecondProductPackage(qmfault::kSecondProduct, 1);
  qmfault::WritePackageBeside(engine, kSecondPackage, second);
  EXPECT_EQ(qmfault::OneCallInstall(engine, kSecondPackage), 0);
  Snapshot s = TakeSnapshot();
  Report("NT, product B with newer daemons over the running ones:\n" + Describe(s, false));

  // Every runtime image in use went aside; each .OLD and the marker are the only pending entries.
  EXPECT_FALSE(s.old_files.empty());
  Lines expected_pending;
  for (const std::string& old : s.old_files)
    expected_pending.push_back(Quoted(qmfault::RestartPathOf(old)) + " -> (delete)");
  expected_pending.push_back(Quoted(qmtest::MarkerPath()) + " -> (delete)");
  Lines pending = s.pending;
  std::sort(pending.begin(), pending.end());
  std::sort(expected_pending.begin(), expected_pending.end());
  EXPECT_EQ(pending, expected_pending);
  for (const std::string& old : s.old_files) {
    const std::string name = old.substr(old.find_last_of('\\') + 1);
    bool runtime = false;
    for (const std::string& image : qmfault::RuntimeImages())
      runtime |= image.substr(image.find_last_of('\\') + 1) + ".OLD" == name;
    EXPECT_TRUE(runtime) << old;
  }
  EXPECT_TRUE(std::find(s.old_files.begin(), s.old_files.end(), qmfault::ProductFolder() + "\\qmslotd.exe.OLD") !=
              s.old_files.end());
  EXPECT_TRUE(std::find(s.old_files.begin(), s.old_files.end(), qmfault::ProductFolder() + "\\qmcertd.exe.OLD") !=
              s.old_files.end());
  EXPECT_EQ(NotFrom(second), Lines{}) << "every target already holds the new file";
  EXPECT_TRUE(s.marker);

  // The restart: the daemons stop, the .OLD files go, the system starts the daemons again.
  EXPECT_EQ(qmfault::Restart(), 0u);
  s = TakeSnapshot();
  EXPECT_EQ(s.old_files, Lines{});
  EXPECT_EQ(s.pending, Lines{});
  EXPECT_FALSE(s.marker);
  EXPECT_EQ(NotFrom(second), Lines{});
  EXPECT_EQ(Installed(s), 21u) << Describe(s);
  const qmfault::BootOutcome boot = qmfault::StartServicesAsBootWould();
  Report("NT, after the restart: " + std::to_string(Installed(s)) + " files below the product folder, " +
         std::to_string(s.system_files.size()) + " in the system folder, no .OLD, nothing pending; " +
         Describe(boot));
  ASSERT_EQ(qmfault::ServiceState(qmfault::kSlotService), static_cast<DWORD>(SERVICE_RUNNING)) << Describe(boot);
  ASSERT_EQ(qmfault::ServiceState(qmfault::kCertService), static_cast<DWORD>(SERVICE_RUNNING)) << Describe(boot);

  // Removal while they run: A first (B still counts everything, nothing goes), then B while an
  // application has the PKCS#11 module and one token provider loaded.
  EXPECT_EQ(qmfault::FrontUninstall(), qm::FrontResult::kOk);
  s = TakeSnapshot();
  Report("NT, A removed while the daemons run:\n" + Describe(s, false));
  EXPECT_EQ(Installed(s), 21u) << "B still counts every file";
  EXPECT_EQ(qmfault::ServiceState(qmfault::kSlotService), static_cast<DWORD>(SERVICE_RUNNING));
  const std::string provider = qmfault::ProductFolder() + "\\tsp\\qmtsp_kx1.dll";
  {
    qmtest::FileHolder module(qmtest::SystemFolder() + "\\qmp11.dll", "load");
    qmtest::FileHolder library(provider, "load");
    ASSERT_TRUE(module.holding() && library.holding());
    EXPECT_EQ(qmfault::OneCallUninstall(engine, kSecondPackage), 0);
    s = TakeSnapshot();
    Report("NT, B removed while an application holds qmp11.dll and tsp\\qmtsp_kx1.dll:\n" + Describe(s, false));
    EXPECT_EQ(s.services, Lines{});
    EXPECT_EQ(s.processes, Lines{});
    EXPECT_EQ(s.system_files, Lines{"qmp11.dll"});
    EXPECT_EQ(s.product_files, Lines{Listed(second, "tsp\\qmtsp_kx1.dll")});
    EXPECT_EQ(s.registry, Lines{});
    // Both go at the restart, named as the restart sees them. The product folder is only
    // removed at Finish, when it is empty; it is not scheduled.
    Lines expected = {Quoted(qmfault::RestartPathOf(qmtest::SystemFolder() + "\\qmp11.dll")) + " -> (delete)",
                      Quoted(provider) + " -> (delete)", Quoted(qmtest::MarkerPath()) + " -> (delete)"};
    std::sort(expected.begin(), expected.end());
    Lines pending = s.pending;
    std::sort(pending.begin(), pending.end());
    EXPECT_EQ(pending, expected);
  }
  EXPECT_EQ(qmfault::Restart(), 0u);
  s = TakeSnapshot();
  const Lines folders = Folders();
  Report("NT, after the restart: empty folders left: " + std::to_string(folders.size()) + "\n" + Describe(s, false));
  EXPECT_EQ(s.product_files, Lines{});
  EXPECT_EQ(s.system_files, Lines{});
  EXPECT_EQ(s.pending, Lines{});
  EXPECT_FALSE(s.marker);
  EXPECT_EQ(folders, (Lines{"qmsrv", "qmsrv\\tsp"})) << "the folders of the file that was in use stay, empty";
  s.product_folder = false;
  EXPECT_EQ(qmfault::WhatIsLeft(s), "");
  qmtest::DeleteTree(engine.folder);
}

// Windows 98: no services; an in-use target gets a line in _REMOVED.INI and the RunOnce value
// that starts _REMOVED.exe from the unpack folder at the next start, which puts the new file in
// place. Deletions at the restart go to WININIT.INI.
TEST_F(InUse, Win98NewerFilesOverHeldOnesThenRemovalWhileHeld) {
  for (const char* exe : {"qmslotd.exe", "qmcertd.exe", "_removed.exe"}) qmfault::SetProgramWindowsVersion(exe, "win98");
  ASSERT_EQ(qmfault::FrontInstall("win98"), qm::FrontResult::kOk);
  Snapshot s = TakeSnapshot();
  EXPECT_EQ(s.services, Lines{}) << "Windows 98 has no services";
  EXPECT_EQ(Installed(s), 21u) << Describe(s);

  const qmfault::EngineFolder engine = qmfault::MakeEngineFolder("in_use_98");
  const qmtest::PackageFiles second = qmfault::SecondProductPackage(qmfault::kSecondProduct, 1);
  qmfault::WritePackageBeside(engine, kSecondPackage, second);
  const std::string product = qmfault::ProductFolder();
  const Lines held_targets = {product + "\\qmslotd.exe", product + "\\qmcertd.exe", product + "\\slotmon\\hidmon.dll"};
  const std::string unpack = engine.folder + "\\KX2B";
  {
    std::vector<std::unique_ptr<qmtest::FileHolder>> holders;
    for (const std::string& target : held_targets) {
      holders.emplace_back(new qmtest::FileHolder(target, "read"));  // still runs, cannot go
      ASSERT_TRUE(holders.back()->holding()) << target;
    }
    EXPECT_EQ(qmfault::OneCallInstall(engine, kSecondPackage, "win98"), 0);
    s = TakeSnapshot();
    Report("Windows 98, product B with newer files over three held ones:\n" + Describe(s, false));
    EXPECT_EQ(s.removed_ini, product + "\\slotmon\\hidmon.dll=" + unpack + "\\slotmon\\hidmon.dll\r\n" + product +
                                 "\\qmcertd.exe=" + unpack + "\\qmcertd.exe\r\n" + product + "\\qmslotd.exe=" + unpack +
                                 "\\qmslotd.exe\r\n");
    EXPECT_EQ(s.run_once, unpack + "\\_removed.exe");
    EXPECT_EQ(s.old_files, Lines{});
    EXPECT_NE(s.wininit.find("[rename]\r\nNUL="), std::string::npos) << s.wininit;
    EXPECT_TRUE(s.marker);
    Lines expected_old;
    for (const qmfault::CopyPair& pair : qmfault::CopyPairs())
      if (std::find(held_targets.begin(), held_targets.end(), pair.target) != held_targets.end())
        expected_old.push_back(pair.target);
    EXPECT_EQ(NotFrom(second), expected_old) << "only the held targets still hold the old file";
  }
  EXPECT_EQ(qmfault::Restart(), 0u);
  s = TakeSnapshot();
  const std::string removed_log = qmtest::ReadFileBytes(qmtest::WindowsFolder() + "\\Temp\\_REMOVED.log");
  Report("Windows 98, after the restart:\n" + Describe(s, false) + "_REMOVED.log:\n" + removed_log);
  EXPECT_EQ(NotFrom(second), Lines{}) << "_REMOVED.exe replaced the held ones";
  EXPECT_EQ(s.removed_ini, "");
  EXPECT_EQ(s.run_once, "");
  EXPECT_EQ(s.wininit, "");
  EXPECT_FALSE(s.marker);
  EXPECT_NE(removed_log.find("all done, list removed"), std::string::npos);
  EXPECT_EQ(s.pending, Lines{});

  // Removal while a daemon and a token provider are held (below the product folder: under this
  // 64-bit prefix the restart would look for a system-folder file in the native system folder,
  // which no Windows 98 has).
  EXPECT_EQ(qmfault::FrontUninstall("win98"), qm::FrontResult::kOk);
  {
    qmtest::FileHolder daemon(product + "\\qmslotd.exe", "read");
    qmtest::FileHolder library(product + "\\tsp\\qmtsp_kx2.dll", "load");
    ASSERT_TRUE(daemon.holding() && library.holding());
    EXPECT_EQ(qmfault::OneCallUninstall(engine, kSecondPackage, "win98"), 0);
    s = TakeSnapshot();
    Report("Windows 98, A removed, then B while qmslotd.exe and tsp\\qmtsp_kx2.dll are held:\n" + Describe(s, false));
    EXPECT_EQ(s.product_files, (Lines{Listed(second, "qmslotd.exe"), Listed(second, "tsp\\qmtsp_kx2.dll")}));
    EXPECT_EQ(s.system_files, Lines{});
    EXPECT_EQ(s.registry, Lines{});
    EXPECT_EQ(s.pending, Lines{});
    // Each entry goes first into [rename]: the marker, then the two files in the reverse order of
    // their DEL lines.
    const Lines wininit = qmtest::Split(s.wininit, "\r\n");
    ASSERT_EQ(wininit.size(), 5u) << s.wininit;
    EXPECT_EQ(wininit[1], "[rename]");
    for (size_t i = 2; i < wininit.size(); ++i) EXPECT_EQ(wininit[i].compare(0, 4, "NUL="), 0) << wininit[i];
    EXPECT_NE(wininit[2].find("INST"), std::string::npos) << "the marker first";
    EXPECT_NE(wininit[3].find("qmslotd.exe"), std::string::npos);
    EXPECT_NE(wininit[4].find("\\tsp\\"), std::string::npos) << "the provider, by its short name";
  }
  EXPECT_EQ(qmfault::Restart(), 0u);
  s = TakeSnapshot();
  const Lines folders = Folders();
  Report("Windows 98, after the restart: empty folders left: " + std::to_string(folders.size()) + "\n" +
         Describe(s, false));
  EXPECT_EQ(s.product_files, Lines{});
  EXPECT_EQ(s.system_files, Lines{});
  EXPECT_FALSE(s.marker);
  EXPECT_EQ(s.wininit, "");
  EXPECT_FALSE(s.dirnul);
  EXPECT_EQ(folders, (Lines{"qmsrv", "qmsrv\\tsp"})) << "the folders of the files that were in use stay, empty";
  qmtest::DeleteTree(engine.folder);
}

}  // namespace

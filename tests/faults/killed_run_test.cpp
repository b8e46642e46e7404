// A killed run: kx_Install in a child process (kxhost install 3) is terminated at a fixed list of
// points of the copy chapter, found by following the setup log; then kx_Install runs again, and
// kx_Uninstall (after the restart the second install asks for). What each step leaves is
// reported; what is left at the end must be consistent (every file left is counted, every count
// names a file left, no product record, nothing pending).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>

#include "base/result.h"
#include "tests/faults/fault_support.h"

namespace {

using qmfault::Describe;
using qmfault::Lines;
using qmfault::Report;
using qmfault::Snapshot;
using qmfault::TakeSnapshot;

constexpr char kCopyStarts[] = "DoStep OneChapter is copy";
constexpr char kCounted[] = "Copy over Add Ref Count ";
constexpr DWORD kKillTimeoutMs = 120000;

struct KillPoint {
  const char* name;
  const char* line;  // the log line (its start) to wait for
  int occurrence;    // how many of them
};

// The copy chapter counts one file per line; files 6, 11 and 16 are the certificate daemon, the
// PKCS#11 module in the system folder and the slot daemon.
const KillPoint kPoints[] = {
    {"copy chapter begun", kCopyStarts, 1}, {"1 file counted", kCounted, 1},
    {"3 files counted", kCounted, 3},       {"6 files counted (qmcertd.exe)", kCounted, 6},
    {"11 files counted (qmp11.dll)", kCounted, 11}, {"16 files counted (qmslotd.exe)", kCounted, 16},
    {"21 files counted", kCounted, 21},     {"26 files counted (copy done)", kCounted, 26},
    {"Finish done (in the 3 s pause)", "<====Ending to Finish:", 1},
};

int CountLines(const Lines& lines, const std::string& start) {
  int n = 0;
  for (const std::string& line : lines) n += line.compare(0, start.size(), start) == 0;
  return n;
}

struct Killed {
  bool reached = false;
  int counted = 0;        // "Copy over Add Ref Count" lines in the log after the kill
  std::string last_line;  // the log's last line after the kill
};

// Starts kxhost install 3 and terminates it once the log shows |point|.
Killed KillAt(const KillPoint& point) {
  Killed k;
  ::DeleteFileA(qmtest::EngineLogPath().c_str());
  qm::ScopedHandle host = qmfault::StartKxhost("install 3");
  if (!host) return k;
  const DWORD start = ::GetTickCount();
  while (::GetTickCount() - start < kKillTimeoutMs) {
    if (CountLines(qmtest::EngineLogLines(), point.line) >= point.occurrence) {
      ::TerminateProcess(host.get(), 9);
      k.reached = true;
      break;
    }
    if (::WaitForSingleObject(host.get(), 1) == WAIT_OBJECT_0) break;
  }
  if (!k.reached) ::TerminateProcess(host.get(), 9);
  ::WaitForSingleObject(host.get(), 10000);
  const Lines lines = qmtest::EngineLogLines();
  k.counted = CountLines(lines, kCounted);
  k.last_line = lines.empty() ? "" : lines.back();
  return k;
}

// The names of the counted files, and of the files present, below the product folder and in
// the system folder, each as a full path.
Lines CountedPaths(const Snapshot& s) {
  Lines paths;
  for (const std::string& line : s.registry) {
    const std::string head = "Ref|";
    if (line.compare(0, head.size(), head) != 0) continue;
    paths.push_back(line.substr(head.size(), line.find("=DWORD:") - head.size()));
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

Lines PresentPaths(const Snapshot& s) {
  Lines paths;
  for (const std::string& line : s.product_files) {
    const std::string name = line.substr(0, line.rfind(' '));
    if (name.compare(0, 4, "log\\") != 0) paths.push_back(qmfault::ProductFolder() + "\\" + name);
  }
  for (const std::string& name : s.system_files) paths.push_back(qmtest::SystemFolder() + "\\" + name);
  std::sort(paths.begin(), paths.end());
  return paths;
}

std::string Summary(const Snapshot& s) {
  std::string text = std::to_string(s.product_files.size()) + " product files, " +
                     std::to_string(s.system_files.size()) + " system files, " +
                     std::to_string(CountedPaths(s).size()) + " counts";
  int counted_twice = 0;
  for (const std::string& line : s.registry) counted_twice += line.find("=DWORD:2") != std::string::npos;
  if (counted_twice) text += " (" + std::to_string(counted_twice) + " at 2)";
  bool product = false;
  for (const std::string& line : s.registry) product |= line.compare(0, 8, "Product|") == 0;
  text += product ? ", product recorded" : ", no product record";
  for (const std::string& service : s.services) text += ", " + service;
  if (!s.hid.empty()) text += ", HID records";
  if (s.csp) text += ", CSP registered";
  if (!s.pending.empty()) text += ", " + std::to_string(s.pending.size()) + " pending";
  if (s.marker) text += ", restart marker";
  return text;
}

void RunPoint(const KillPoint& point) {
  SCOPED_TRACE(point.name);
  qmfault::CleanEverything();
  const Killed killed = KillAt(point);
  ASSERT_TRUE(killed.reached) << "the log never showed " << point.line;
  const Snapshot after_kill = TakeSnapshot();

  const qm::FrontResult reinstall = qmfault::FrontInstall();
  const Snapshot after_reinstall = TakeSnapshot();
  std::string early_uninstall;  // the report's line, when a removal ran before the restart
  if (after_reinstall.marker) {
    const qm::FrontResult refused = qmfault::FrontUninstall();  // the pending restart refuses it
    early_uninstall = "  kx_Uninstall before the restart: " + std::to_string(qm::ToInt(refused)) + "\n";
    qmfault::Restart();
    qmfault::StartServicesAsBootWould();
  }
  const qm::FrontResult uninstall = qmfault::FrontUninstall();
  qmfault::Restart();
  const Snapshot left = TakeSnapshot();

  Report(std::string("kill point \"") + point.name + "\": the log showed " + std::to_string(killed.counted) +
         " files counted, last line \"" + killed.last_line + "\"\n" + "  after the kill: " + Summary(after_kill) +
         "; staging folder: " + std::to_string(after_kill.staging.size()) + " entries\n" +
         "  kx_Install again: " + std::to_string(qm::ToInt(reinstall)) + "; " + Summary(after_reinstall) + "\n" +
         early_uninstall + "  kx_Uninstall: " + std::to_string(qm::ToInt(uninstall)) +
         ", then a restart; left: " + Summary(left) + "\n" +
         "  in detail:\n" + Describe(left));

  EXPECT_TRUE(reinstall == qm::FrontResult::kOk || reinstall == qm::FrontResult::kRestartNeeded) << reinstall;
  EXPECT_EQ(uninstall, qm::FrontResult::kOk);
  EXPECT_EQ(PresentPaths(left), CountedPaths(left)) << "every file left is counted and every count has its file";
  for (const std::string& line : left.registry) EXPECT_NE(line.compare(0, 8, "Product|"), 0) << line;
  EXPECT_EQ(left.pending, Lines{});
  EXPECT_FALSE(left.marker);
  EXPECT_EQ(left.old_files, Lines{});
  qmfault::CleanEverything();
}

class KilledRun : public ::testing::Test {
 protected:
  void TearDown() override {
    qmfault::CleanEverything();
    EXPECT_EQ(qmfault::WhatIsLeft(TakeSnapshot()), "");
  }
};

TEST_F(KilledRun, AtEachPointOfTheCopyChapter) {
  for (const KillPoint& point : kPoints) RunPoint(point);
}

// The smoke version in make test: the kill in the middle of the copy chapter.
class SmokeKilledRun : public KilledRun {};

TEST_F(SmokeKilledRun, KilledInTheMiddleOfTheCopyChapter) { RunPoint(kPoints[5]); }

}  // namespace

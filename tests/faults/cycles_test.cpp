// Long runs: two products of one maker installed and removed interleaved (install A, install B,
// uninstall A, uninstall B) for QM_CYCLES cycles (20 by default; make test's smoke run does 2),
// through the one-call interface, in one host process (the engine loaded for each call and
// released again, as the front does) and in a fresh kxhost process per call. After each full
// removal nothing of ours may be left and nothing may be pending, the host's handles and private
// bytes must not grow and the log must grow by the same number of lines in every cycle. The
// second install asks for a restart (another product of the family is there), so each cycle
// restarts once after it and starts the daemons again as the system would.
#include <gtest/gtest.h>
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "tests/faults/fault_support.h"

namespace {

using qmfault::Lines;
using qmfault::Report;
using qmfault::Snapshot;
using qmfault::TakeSnapshot;

constexpr char kFirst[] = "KX2.dat";
constexpr char kSecond[] = "KX2B.dat";

int CyclesWanted(int fallback) {
  char text[16] = {};
  if (!::GetEnvironmentVariableA("QM_CYCLES", text, sizeof(text))) return fallback;
  int n = std::atoi(text);
  return n > 0 ? n : fallback;
}

struct Cycle {
  double seconds = 0;
  size_t log_lines = 0;  // added by this cycle
  size_t log_bytes = 0;
  size_t private_bytes = 0;
  DWORD handles = 0;
  std::string problem;  // what was wrong after the full removal, empty when nothing
};

// The engine's unpacker and the daemons it starts print to the console; in this process that
// would be thousands of lines over the cycles. Standard output goes to NUL while it lives.
class QuietOutput {
 public:
  QuietOutput() {
    std::fflush(stdout);
    saved_fd_ = _dup(1);
    int nul = _open("NUL", _O_WRONLY);
    if (nul >= 0) {
      _dup2(nul, 1);
      _close(nul);
    }
    saved_handle_ = ::GetStdHandle(STD_OUTPUT_HANDLE);
    nul_handle_.Reset(::CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    if (nul_handle_) ::SetStdHandle(STD_OUTPUT_HANDLE, nul_handle_.get());
  }
  ~QuietOutput() {
    std::fflush(stdout);
    ::SetStdHandle(STD_OUTPUT_HANDLE, saved_handle_);
    if (saved_fd_ >= 0) {
      _dup2(saved_fd_, 1);
      _close(saved_fd_);
    }
  }

 private:
  int saved_fd_ = -1;
  HANDLE saved_handle_ = nullptr;
  qm::ScopedHandle nul_handle_;
};

// One operation: through the one-call interface in this process or in a kxhost process.
class Host {
 public:
  Host(const qmfault::EngineFolder& engine, bool in_process) : engine_(engine), in_process_(in_process) {}
  int Call(const char* function, const char* package) const {
    if (!in_process_) {
      const std::string command = std::string(function) == "instMW_Install" ? "mw-install " : "mw-uninstall ";
      return static_cast<int>(qmfault::Kxhost("--engine \"" + engine_.engine + "\" " + command + package).exit_code);
    }
    QuietOutput quiet;
    qm::ScopedModule module(::LoadLibraryA(engine_.engine.c_str()));
    if (!module) return -1;
    auto entry = reinterpret_cast<int(__stdcall*)(const char*)>(::GetProcAddress(module.get(), function));
    return entry ? entry(package) : -2;
  }

 private:
  qmfault::EngineFolder engine_;
  bool in_process_;
};

std::vector<Cycle> RunCycles(const std::string& name, bool in_process, int cycles) {
  const qmfault::EngineFolder engine = qmfault::MakeEngineFolder(name);
  qmfault::WritePackageBeside(engine, kFirst, qmfault::ShippedPackage());
  qmfault::WritePackageBeside(engine, kSecond, qmfault::SecondProductPackage(qmfault::kSecondProduct, 0));
  const Host host(engine, in_process);
  std::vector<Cycle> results;
  size_t log_before = qmfault::LogLineCount();
  size_t bytes_before = qmtest::ReadFileBytes(qmtest::EngineLogPath()).size();
  for (int i = 1; i <= cycles; ++i) {
    Cycle c;
    const DWORD t0 = ::GetTickCount();
    std::string codes;
    auto step = [&](const char* function, const char* package, int wanted) {
      int r = host.Call(function, package);
      if (r != wanted)
        codes += std::string(function) + "(" + package + ")=" + std::to_string(r) + " ";
    };
    step("instMW_Install", kFirst, 0);
    step("instMW_Install", kSecond, 0);
    // The second product of the family asks for a restart; without it the next call answers 12.
    qmfault::Restart();
    qmfault::StartServicesAsBootWould();
    step("instMW_Uninstall", kFirst, 0);
    step("instMW_Uninstall", kSecond, 0);
    c.seconds = (::GetTickCount() - t0) / 1000.0;
    c.problem = codes + qmfault::WhatIsLeft(TakeSnapshot());
    const size_t log_now = qmfault::LogLineCount();
    c.log_lines = log_now - log_before;
    log_before = log_now;
    const size_t bytes_now = qmtest::ReadFileBytes(qmtest::EngineLogPath()).size();
    c.log_bytes = bytes_now - bytes_before;
    bytes_before = bytes_now;
    const qmtest::ProcessCounters counters = qmtest::ReadProcessCounters();
    c.private_bytes = counters.private_bytes;
    c.handles = counters.handles;
    results.push_back(c);
    char line[256];
    std::snprintf(line, sizeof(line), "%s cycle %d: %.1f s, %zu log lines (%zu bytes), handle slot %lu, private %zu KB%s%s",
                  name.c_str(), i, c.seconds, c.log_lines, c.log_bytes, static_cast<unsigned long>(c.handles),
                  c.private_bytes / 1024, c.problem.empty() ? "" : ", LEFT: ", c.problem.c_str());
    Report(line);
    if (!c.problem.empty()) break;
  }
  qmtest::DeleteTree(engine.folder);
  return results;
}

void Check(const std::string& name, const std::vector<Cycle>& results, int cycles, bool in_process) {
  ASSERT_EQ(static_cast<int>(results.size()), cycles) << "stopped early";
  double total = 0;
  for (const Cycle& c : results) {
    total += c.seconds;
    EXPECT_EQ(c.problem, "");
    EXPECT_EQ(c.log_lines, results.front().log_lines) << "every cycle logs the same";
  }
  // The first cycle warms up (the runtime's heap, the loader); from the second on nothing grows.
  const Cycle& warm = results.size() > 1 ? results[1] : results[0];
  const Cycle& last = results.back();
  char line[256];
  std::snprintf(line, sizeof(line),
                "%s: %d cycles in %.0f s, %.1f s per cycle; log +%zu lines per cycle; this process: handle slot %lu -> %lu, "
                "private %zu KB -> %zu KB (cycle 2 -> %d)",
                name.c_str(), cycles, total, total / cycles, results.front().log_lines,
                static_cast<unsigned long>(warm.handles), static_cast<unsigned long>(last.handles),
                warm.private_bytes / 1024, last.private_bytes / 1024, cycles);
  Report(line);
  if (!in_process) return;
  EXPECT_LE(last.handles, warm.handles) << "a handle is left open per cycle";
  size_t peak = 0;
  for (const Cycle& c : results) peak = std::max(peak, c.private_bytes);
  // Committed private memory moves with the heap's own growth steps: a leak of even a few
  // hundred bytes a cycle would add up to more than this over the cycles.
  EXPECT_LE(last.private_bytes, warm.private_bytes + 256 * 1024) << "peak " << peak;
}

class Cycles : public qmfault::CleanSlateTest {};

TEST_F(Cycles, InOneHostProcess) {
  const int cycles = CyclesWanted(20);
  Check("one process", RunCycles("cycles_in_process", true, cycles), cycles, true);
}

TEST_F(Cycles, InFreshProcesses) {
  const int cycles = CyclesWanted(20);
  Check("fresh processes", RunCycles("cycles_processes", false, cycles), cycles, false);
}

class SmokeCycles : public Cycles {};

// A host that keeps the engine loaded between the two products' calls: Prepare rebuilds the
// script but never empties the variable table, and a VAR keeps the first value a name had, so
// the second package runs with the first one's {PRODUCT_GUID} (and {TMP}).
TEST_F(SmokeCycles, EngineKeptLoadedRunsTheSecondPackageAsTheFirstProduct) {
  const qmfault::EngineFolder engine = qmfault::MakeEngineFolder("kept_loaded");
  qmfault::WritePackageBeside(engine, kFirst, qmfault::ShippedPackage());
  qmfault::WritePackageBeside(engine, kSecond, qmfault::SecondProductPackage(qmfault::kSecondProduct, 0));
  int first = -1, second = -1, removal = -1;
  {
    QuietOutput quiet;
    qm::ScopedModule module(::LoadLibraryA(engine.engine.c_str()));
    ASSERT_TRUE(module);
    auto install = reinterpret_cast<int(__stdcall*)(const char*)>(::GetProcAddress(module.get(), "instMW_Install"));
    auto uninstall = reinterpret_cast<int(__stdcall*)(const char*)>(::GetProcAddress(module.get(), "instMW_Uninstall"));
    ASSERT_TRUE(install && uninstall);
    first = install(kFirst);
    second = install(kSecond);
    removal = uninstall(kFirst);
  }
  const Lines log = qmtest::EngineLogLines();
  const bool as_first =
      std::find(log.begin(), log.end(), std::string("Product have already install is ") + qmfault::kShippedProduct) !=
      log.end();
  Report("engine kept loaded: instMW_Install(A) " + std::to_string(first) + ", instMW_Install(B) " +
         std::to_string(second) + (as_first ? " (B taken for A: \"Product have already install is " +
                                                  std::string(qmfault::kShippedProduct) + "\")" : "") +
         ", instMW_Uninstall(A) " + std::to_string(removal));
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 11);
  EXPECT_TRUE(as_first);
  EXPECT_EQ(removal, 0);
  EXPECT_EQ(qmfault::WhatIsLeft(TakeSnapshot()), "");
  qmtest::DeleteTree(engine.folder);
}

TEST_F(SmokeCycles, TwoCyclesInOneHostProcess) { Check("one process", RunCycles("cycles_smoke", true, 2), 2, true); }

}  // namespace

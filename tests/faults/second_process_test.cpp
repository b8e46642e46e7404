// A second process while the first is inside kx_Install: the first is held in a RUN ... WAIT of
// wait_event.exe; the second kx_Install gets 2 from the front (the engine's Prepare answers 18
// there) and changes nothing: no file, record, staged file, unpacked file or log line.
#include <gtest/gtest.h>
#include <windows.h>

#include "base/win/scoped_handle.h"
#include "tests/faults/fault_support.h"

QM_ENGINE_CHILD_TEST()

namespace {

using qmfault::Describe;
using qmfault::Lines;
using qmfault::Report;

constexpr char kWaitName[] = "qm_fault_wait";
constexpr DWORD kReadyTimeoutMs = 60000;

// Every file of the staging folder with its bytes, and the log's bytes.
struct Disk {
  Lines files;  // "relative size"
  std::string engine;
  std::string package;
  std::string log;
};

// Size, a sum of the bytes and the write time: what a second run must leave unchanged.
std::string FileFingerprint(const std::string& path, const WIN32_FIND_DATAA& data) {
  const std::string bytes = qmtest::ReadFileBytes(path);
  unsigned sum = 0;
  for (unsigned char c : bytes) sum = sum * 31 + c;
  return std::to_string(bytes.size()) + " " + std::to_string(sum) + " " +
         std::to_string(data.ftLastWriteTime.dwLowDateTime);
}

Disk ReadDisk() {
  Disk d;
  qmfault::WalkFiles(qmtest::StagingFolder(), &d.files, FileFingerprint);
  d.engine = qmtest::ReadFileBytes(qmtest::StagingFolder() + "\\QMSetup.dll");
  d.package = qmtest::ReadFileBytes(qmtest::StagingFolder() + "\\KX2.dat");
  d.log = qmtest::ReadFileBytes(qmtest::EngineLogPath());
  return d;
}

class SecondProcess : public qmfault::CleanSlateTest {};

TEST_F(SecondProcess, SecondInstallGetsTwoAndChangesNothing) {
  const std::string front = qmtest::BinFolder() + "\\Inst_kx2_wait.dll";
  qm::ScopedHandle ready(::CreateEventA(nullptr, TRUE, FALSE, (std::string(kWaitName) + "_ready").c_str()));
  qm::ScopedHandle release(::CreateEventA(nullptr, TRUE, FALSE, (std::string(kWaitName) + "_release").c_str()));
  ASSERT_TRUE(ready && release);

  qm::ScopedHandle first = qmfault::StartKxhost("--front \"" + front + "\" install 2");
  ASSERT_TRUE(first);
  HANDLE waits[2] = {ready.get(), first.get()};
  ASSERT_EQ(::WaitForMultipleObjects(2, waits, FALSE, kReadyTimeoutMs), WAIT_OBJECT_0)
      << "the first installation never reached its RUN ... WAIT";
  const qmfault::Snapshot before = qmfault::TakeSnapshot();
  const Disk disk_before = ReadDisk();
  Report("first kx_Install held in RUN ... WAIT:\n" + Describe(before));
  ASSERT_FALSE(before.registry.empty()) << "the first run has copied, counted and recorded";

  const DWORD t0 = ::GetTickCount();
  const qmtest::ProcessResult second = qmfault::Kxhost("--front \"" + front + "\" install 2");
  const DWORD second_ms = ::GetTickCount() - t0;
  EXPECT_EQ(second.exit_as<qm::FrontResult>(), qm::FrontResult::kEngineFailed) << second.output;
  // The same from the engine itself, loaded in a third process.
  const std::string engine_copy = qmtest::MakeScratchFolder("fault_second_engine") + "\\QMSetup.dll";
  ASSERT_TRUE(::CopyFileA((qmtest::BinFolder() + "\\QMSetup.dll").c_str(), engine_copy.c_str(), FALSE));
  const std::string prepare = qmtest::RunEngineAs("win7", engine_copy, "Prepare:KX2.dat");
  EXPECT_EQ(prepare, "Prepare=18");
  // The shipped front carries another package than the one the first run staged and holds.
  const qmtest::ProcessResult shipped = qmfault::Kxhost("install 3");
  EXPECT_EQ(shipped.exit_as<qm::FrontResult>(), qm::FrontResult::kStagingFailed) << shipped.output;
  // The one-call interface, through the engine copy.
  const qmtest::ProcessResult one_call =
      qmfault::Kxhost("--engine \"" + engine_copy + "\" mw-install KX2.dat");
  EXPECT_EQ(one_call.exit_code, 1u) << one_call.output;

  const qmfault::Snapshot after = qmfault::TakeSnapshot();
  const Disk disk_after = ReadDisk();
  EXPECT_EQ(Describe(after), Describe(before));
  EXPECT_EQ(disk_after.files, disk_before.files);
  EXPECT_TRUE(disk_after.engine == disk_before.engine && disk_after.package == disk_before.package);
  EXPECT_EQ(disk_after.log.size(), disk_before.log.size()) << "nothing was logged";
  EXPECT_FALSE(qmtest::FileExists(qmtest::TempPath() + "qmtest_fault_second_engine\\KX2"))
      << "nothing was unpacked beside the engine copy";
  Report("second kx_Install (same front) returned " + std::to_string(second.exit_code) + " in " +
         std::to_string(second_ms) + " ms; the engine's Prepare in a third process: " + prepare +
         "; kx_Install of the shipped front: " + std::to_string(shipped.exit_code) +
         "; instMW_Install: " + std::to_string(one_call.exit_code) + "; files, records, staging folder and log unchanged");

  ::SetEvent(release.get());
  ASSERT_EQ(::WaitForSingleObject(first.get(), kReadyTimeoutMs), WAIT_OBJECT_0);
  DWORD code = 0;
  ::GetExitCodeProcess(first.get(), &code);
  EXPECT_EQ(static_cast<qm::FrontResult>(code), qm::FrontResult::kOk) << "the first installation completes";
  EXPECT_EQ(qmfault::Kxhost("--front \"" + front + "\" uninstall").exit_as<qm::FrontResult>(), qm::FrontResult::kOk);
  qmtest::DeleteTree(qmtest::TempPath() + "qmtest_fault_second_engine");
}

}  // namespace

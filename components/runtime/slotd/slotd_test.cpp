// qmslotd.exe as the setup script runs it, with Wine's real service manager and registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "base/win/reg_key.h"
#include "components/runtime/common/plugin_api.h"
#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/tests/rt_test_support.h"

namespace {

using qm::DaemonResult;
using HidFn = int(__stdcall*)(const char*);

constexpr char kService[] = "qmSlotD";
constexpr char kFolderName[] = "slotd";
constexpr char kProduct[] = "6F1C2E4A-3B7D-4C59-9E21-0A8B7D6C5E41_KX2";
constexpr DWORD kLogWaitMs = 8000;

class SlotdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rttest::RemoveService(kService);
    rttest::DeleteHidRecords();
    folder_ = rttest::MakeProductFolder(kFolderName);
    exe_ = folder_ + "\\qmslotd.exe";
    log_ = folder_ + "\\log\\qmslotd.log";
  }
  void TearDown() override {
    rttest::RemoveService(kService);
    rttest::DeleteHidRecords();
    rttest::RemoveProductFolder(kFolderName);
  }

  qmtest::ProcessResult Slotd(const std::string& args) { return qmtest::RunProcess(rttest::Quote(exe_) + " " + args); }

  // Through the HID helper, as the script's SetupHidReg chapter does.
  static qm::HidRegResult Record(const std::string& text) {
    qm::ScopedModule helper(::LoadLibraryA((qmtest::BinFolder() + "\\qmhidreg.dll").c_str()));
    auto write = reinterpret_cast<HidFn>(::GetProcAddress(helper.get(), "WirteRegForHidDeivice"));
    return static_cast<qm::HidRegResult>(write ? write(text.c_str()) : -1);
  }

  std::string folder_;
  std::string exe_;
  std::string log_;
};

// Wine's sc.exe: "STATE : 4  RUNNING", or a failure once the service is gone.
std::string ScQueryState(const char* name) {
  qmtest::ProcessResult r = qmtest::RunProcess(std::string("sc query ") + name);
  if (r.exit_code != 0) return "absent";
  for (const char* state : {"RUNNING", "STOPPED", "START_PENDING", "STOP_PENDING"})
    if (r.output.find(state) != std::string::npos) return state;
  return r.output;
}

TEST_F(SlotdTest, ScriptSwitchesDriveTheService) {
  struct Row {
    const char* args;
    DaemonResult code;
    const char* says;
    DWORD state;     // QueryServiceStatus; 0 = no such service
    const char* sc;  // what sc query shows
  };
  const Row rows[] = {
      {"-i", DaemonResult::kOk, "The service is installed.", SERVICE_STOPPED, "STOPPED"},
      {"-i", DaemonResult::kOk, "installed already", SERVICE_STOPPED, "STOPPED"},
      {"-s", DaemonResult::kOk, "The service is running.", SERVICE_RUNNING, "RUNNING"},
      {"-s", DaemonResult::kOk, "running already", SERVICE_RUNNING, "RUNNING"},
      {"-t", DaemonResult::kOk, "The service is stopped.", SERVICE_STOPPED, "STOPPED"},
      {"-t", DaemonResult::kOk, "was not running", SERVICE_STOPPED, "STOPPED"},
      {"-s", DaemonResult::kOk, "The service is running.", SERVICE_RUNNING, "RUNNING"},
      {"-u", DaemonResult::kOk, "The service is removed.", 0, "absent"},
      {"-u", DaemonResult::kOk, "was not installed", 0, "absent"},
      {"-t", DaemonResult::kOk, "was not running", 0, "absent"},
      {"-s", DaemonResult::kNotInstalled, "not installed", 0, "absent"},
  };
  DWORD pid = 0;
  for (const Row& row : rows) {
    DWORD start = ::GetTickCount();
    qmtest::ProcessResult r = Slotd(row.args);
    DWORD took = ::GetTickCount() - start;
    std::printf("qmslotd %s: %lu ms\n", row.args, took);
    EXPECT_EQ(r.exit_as<DaemonResult>(), row.code) << row.args << ": " << r.output;
    EXPECT_NE(r.output.find(row.says), std::string::npos) << row.args << ": " << r.output;
    EXPECT_EQ(rttest::ServiceState(kService), row.state) << row.args;
    EXPECT_EQ(ScQueryState(kService), row.sc) << row.args;
    if (row.state == SERVICE_RUNNING) pid = rttest::ServiceProcessId(kService);
    if (row.state != SERVICE_RUNNING && pid) {
      EXPECT_FALSE(rttest::ProcessRunning(pid)) << row.args << ": the service process has ended";
      pid = 0;
    }
  }
  EXPECT_FALSE(qmtest::FileExists(log_)) << "-u takes the daemon's log";
  EXPECT_FALSE(qmtest::FileExists(folder_ + "\\log")) << "and the emptied log folder";
}

TEST_F(SlotdTest, InstallsAnAutomaticOwnProcessService) {
  ASSERT_EQ(Slotd("-i").exit_as<DaemonResult>(), DaemonResult::kOk);
  qm::RegKey key;
  ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\qmSlotD", KEY_QUERY_VALUE),
            ERROR_SUCCESS);
  std::string image;
  std::string description;
  std::string display;
  DWORD start = 0;
  DWORD type = 0;
  EXPECT_EQ(key.ReadString("ImagePath", &image), ERROR_SUCCESS);
  EXPECT_EQ(image, rttest::Quote(exe_) + " --service") << "quoted: the product folder has a blank";
  EXPECT_EQ(key.ReadDword("Start", &start), ERROR_SUCCESS);
  EXPECT_EQ(start, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(key.ReadDword("Type", &type), ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(key.ReadString("DisplayName", &display), ERROR_SUCCESS);
  EXPECT_EQ(display, "QM KX2 slot daemon");
  EXPECT_EQ(key.ReadString("Description", &description), ERROR_SUCCESS) << "set through ChangeServiceConfig2A";
  EXPECT_FALSE(description.empty());
}

TEST_F(SlotdTest, OtherSwitches) {
  struct Row {
    const char* args;
    DaemonResult code;
    const char* says;
  };
  const Row rows[] = {
      {"-h", DaemonResult::kOk, "Usage: qmslotd.exe"},
      {"/?", DaemonResult::kOk, "Usage: qmslotd.exe"},
      {"", DaemonResult::kUsage, "Unknown or conflicting switches"},
      {"-x", DaemonResult::kUsage, "Unknown or conflicting switches"},
      {"-i -s", DaemonResult::kUsage, "Unknown or conflicting switches"},
      {"--service", DaemonResult::kNotUnderManager, "for the service manager only"},
  };
  for (const Row& row : rows) {
    qmtest::ProcessResult r = Slotd(row.args);
    EXPECT_EQ(r.exit_as<DaemonResult>(), row.code) << row.args;
    EXPECT_NE(r.output.find(row.says), std::string::npos) << row.args << ": " << r.output;
  }
  EXPECT_EQ(rttest::ServiceState(kService), 0u);
}

TEST_F(SlotdTest, Windows98HasNoServices) {
  for (const char* args : {"-i", "-s", "-t", "-u"}) {
    qmtest::ProcessResult r = qmtest::RunAsWindowsVersion(exe_, "win98", args);
    EXPECT_EQ(r.exit_as<DaemonResult>(), DaemonResult::kNoServices) << args;
    EXPECT_NE(r.output.find("has no services"), std::string::npos) << args << ": " << r.output;
  }
  EXPECT_EQ(qmtest::RunAsWindowsVersion(exe_, "win98", "-h").exit_as<DaemonResult>(), DaemonResult::kOk);
  EXPECT_EQ(rttest::ServiceState(kService), 0u);
}

TEST_F(SlotdTest, WatchesRecordedDevicesAndIdles) {
  ASSERT_EQ(Record(std::string("1;") + kProduct + ";{8A3C41F2-6B0D-4E7A-9C15-3D2E1F0A9B87};096E&0703;2"),
            qm::HidRegResult::kOk);
  ASSERT_EQ(Slotd("-i").exit_as<DaemonResult>(), DaemonResult::kOk);
  ASSERT_EQ(Slotd("-s").exit_as<DaemonResult>(), DaemonResult::kOk);
  EXPECT_TRUE(rttest::WaitForFileText(log_, "watching 096E&0703 (" + std::string(kProduct) + "\\{8A3C", kLogWaitMs))
      << qmtest::ReadFileBytes(log_);

  qm::ScopedServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  qm::ScopedServiceHandle service(::OpenServiceA(manager.get(), kService, SERVICE_INTERROGATE));
  SERVICE_STATUS status = {};
  EXPECT_TRUE(::ControlService(service.get(), SERVICE_CONTROL_INTERROGATE, &status));
  EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_EQ(status.dwControlsAccepted, static_cast<DWORD>(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN));

  // No device of ours: the service waits between scans and uses next to no processor time.
  DWORD pid = rttest::ServiceProcessId(kService);
  ASSERT_NE(pid, 0u);
  ULONGLONG before = rttest::ProcessCpuTime(pid);
  EXPECT_GT(before, 0u) << "starting took some processor time: the process list reads it";
  const DWORD idle_ms = 4000;
  ::Sleep(idle_ms);
  ULONGLONG used_ms = (rttest::ProcessCpuTime(pid) - before) / 10000;
  std::printf("service processor time over %lu ms idle: %llu ms\n", idle_ms, used_ms);
  EXPECT_LT(used_ms, idle_ms / 20) << "more than 5% of one processor while idle";

  // A record added while it runs is picked up at the next scan. Wine's own HID devices (its
  // virtual mouse and keyboard) stand in for a token when there are any.
  qm::ScopedModule monitor(::LoadLibraryA((folder_ + "\\slotmon\\hidmon.dll").c_str()));
  auto enumerate = reinterpret_cast<QmMonEnumerateFn>(::GetProcAddress(monitor.get(), "QmMonEnumerate"));
  ASSERT_TRUE(enumerate);
  char list[4096] = {};
  DWORD needed = 0;
  DWORD count = 0;
  ASSERT_EQ(enumerate("*", list, sizeof(list), &needed, &count), 0);
  std::string present = count ? std::string(list, 9) : "1234&5678";
  ASSERT_EQ(Record(std::string("1;") + kProduct + ";M2;" + present + ";1"), qm::HidRegResult::kOk);
  EXPECT_TRUE(rttest::WaitForFileText(log_, "watching 096E&0703", kLogWaitMs));
  EXPECT_TRUE(rttest::WaitForFileText(log_, " " + present + " (" + std::string(kProduct) + "\\M2)", kLogWaitMs))
      << qmtest::ReadFileBytes(log_);
  if (count) {
    EXPECT_TRUE(rttest::WaitForFileText(log_, "arrived: hid " + present + " \\\\?\\", kLogWaitMs))
        << qmtest::ReadFileBytes(log_);
    EXPECT_TRUE(rttest::WaitForFileText(log_, "tokens present: 0", kLogWaitMs));
    rttest::DeleteHidRecords();
    EXPECT_TRUE(rttest::WaitForFileText(log_, "left: hid " + present, kLogWaitMs)) << qmtest::ReadFileBytes(log_);
  }

  EXPECT_EQ(Slotd("-t").exit_as<DaemonResult>(), DaemonResult::kOk);
  std::string log = qmtest::ReadFileBytes(log_);
  std::printf("%s", log.c_str());
  EXPECT_NE(log.find("service started"), std::string::npos) << log;
  EXPECT_NE(log.find("service stopped"), std::string::npos) << log;
  EXPECT_EQ(Slotd("-u").exit_as<DaemonResult>(), DaemonResult::kOk);
  EXPECT_FALSE(qmtest::FileExists(log_));
}

}  // namespace

// qmcertd.exe with the setup script's command lines, Wine's service manager, and its languages.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>

#include "base/win/reg_key.h"
#include "components/runtime/common/message_table.h"
#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/tests/rt_test_support.h"

namespace {

using qm::DaemonResult;

constexpr char kService[] = "qmCertD";
constexpr char kFolderName[] = "certd";
constexpr char kSlotChangeEvent[] = "QM KX2 slot change";
constexpr DWORD kLogWaitMs = 8000;
// "-r -a" runs without the setup engine waiting for it: it must end by itself, soon.
constexpr DWORD kRefreshLimitMs = 10000;

class CertdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rttest::RemoveService(kService);
    folder_ = rttest::MakeProductFolder(kFolderName);
    exe_ = folder_ + "\\qmcertd.exe";
    log_ = folder_ + "\\log\\qmcertd.log";
  }
  void TearDown() override {
    rttest::RemoveService(kService);
    rttest::RemoveProductFolder(kFolderName);
  }

  qmtest::ProcessResult Certd(const std::string& args, DWORD timeout_ms = 60000) {
    return qmtest::RunProcess(rttest::Quote(exe_) + " " + args, timeout_ms);
  }

  std::string folder_;
  std::string exe_;
  std::string log_;
};

TEST_F(CertdTest, ScriptCommandLinesInOrder) {
  struct Row {
    const char* args;
    const char* says;  // empty: prints nothing
    DWORD state;
  };
  const Row rows[] = {
      {"-i -s -a", "The service is running.", SERVICE_RUNNING},
      {"-r -a", "Tokens present: 0", SERVICE_RUNNING},
      {"-t", "The service is stopped.", SERVICE_STOPPED},
      {"-u -s", "", 0},
  };
  DWORD pid = 0;
  for (const Row& row : rows) {
    DWORD start = ::GetTickCount();
    qmtest::ProcessResult r = Certd(row.args, kRefreshLimitMs);
    std::printf("qmcertd %s: %lu ms\n", row.args, ::GetTickCount() - start);
    EXPECT_EQ(r.exit_as<DaemonResult>(), DaemonResult::kOk) << row.args << ": " << r.output;
    if (*row.says)
      EXPECT_NE(r.output.find(row.says), std::string::npos) << row.args << ": " << r.output;
    else
      EXPECT_EQ(r.output, "") << row.args;
    EXPECT_EQ(rttest::ServiceState(kService), row.state) << row.args;
    if (row.state == SERVICE_RUNNING) pid = rttest::ServiceProcessId(kService);
    if (std::string(row.args) == "-i -s -a") {
      qm::RegKey key;
      DWORD start_type = 0;
      ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\qmCertD", KEY_QUERY_VALUE),
                ERROR_SUCCESS);
      EXPECT_EQ(key.ReadDword("Start", &start_type), ERROR_SUCCESS);
      EXPECT_EQ(start_type, static_cast<DWORD>(SERVICE_AUTO_START)) << "-a: starts with Windows";
    }
    if (std::string(row.args) == "-t") {
      ASSERT_NE(pid, 0u);
      EXPECT_FALSE(rttest::ProcessRunning(pid)) << "no daemon process is left after -t";
      std::string log = qmtest::ReadFileBytes(log_);
      for (const char* line :
           {"service started", "waiting for token events", "refresh: 0 tokens present", "service stopped"})
        EXPECT_NE(log.find(line), std::string::npos) << line << " in:\n" << log;
    }
  }
  EXPECT_FALSE(qmtest::FileExists(log_));
  EXPECT_FALSE(qmtest::FileExists(folder_ + "\\log"));
}

TEST_F(CertdTest, WaitsForTokenEventsWithoutSpinning) {
  ASSERT_EQ(Certd("-i -s").exit_as<DaemonResult>(), DaemonResult::kOk);
  ASSERT_TRUE(rttest::WaitForFileText(log_, "waiting for token events", kLogWaitMs));
  DWORD pid = rttest::ServiceProcessId(kService);
  ULONGLONG before = rttest::ProcessCpuTime(pid);
  ::Sleep(2000);
  EXPECT_LT((rttest::ProcessCpuTime(pid) - before) / 10000, 100u) << "ms of processor time while waiting";
  // What the slot daemon does when a device arrives or leaves.
  qm::ScopedHandle event(::OpenEventA(EVENT_MODIFY_STATE, FALSE, kSlotChangeEvent));
  ASSERT_TRUE(event);
  ::SetEvent(event.get());
  EXPECT_TRUE(rttest::WaitForFileText(log_, "token event: 0 tokens present", kLogWaitMs))
      << qmtest::ReadFileBytes(log_);
  qm::RegKey key;
  DWORD start_type = 0;
  ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services\\qmCertD", KEY_QUERY_VALUE),
            ERROR_SUCCESS);
  EXPECT_EQ(key.ReadDword("Start", &start_type), ERROR_SUCCESS);
  EXPECT_EQ(start_type, static_cast<DWORD>(SERVICE_DEMAND_START)) << "without -a: on demand";
  EXPECT_EQ(Certd("-u").exit_as<DaemonResult>(), DaemonResult::kOk) << "-u stops a running service first";
  EXPECT_EQ(rttest::ServiceState(kService), 0u);
  EXPECT_FALSE(rttest::ProcessRunning(pid));
}

TEST_F(CertdTest, Switches) {
  struct Row {
    const char* args;
    DaemonResult code;
    const char* says;
  };
  const Row rows[] = {
      {"-h", DaemonResult::kOk, "-r  copy the certificates of present tokens"},
      {"", DaemonResult::kUsage, "Unknown or conflicting switches"},
      {"-a", DaemonResult::kUsage, "Unknown or conflicting switches"},
      {"-i -u", DaemonResult::kUsage, "Unknown or conflicting switches"},
      {"-r -t", DaemonResult::kUsage, "Unknown or conflicting switches"},
      {"-t -s", DaemonResult::kUsage, "Unknown or conflicting switches"},
      {"-q", DaemonResult::kUsage, "Unknown or conflicting switches"},
      {"-s", DaemonResult::kNotInstalled, "The service is not installed."},
      {"-t", DaemonResult::kOk, "The service was not running."},
      {"-u", DaemonResult::kOk, "The service was not installed."},
      {"-u -s", DaemonResult::kOk, ""},
      {"/R /A", DaemonResult::kOk, "Tokens present: 0"},
  };
  for (const Row& row : rows) {
    qmtest::ProcessResult r = Certd(row.args);
    EXPECT_EQ(r.exit_as<DaemonResult>(), row.code) << row.args;
    if (*row.says)
      EXPECT_NE(r.output.find(row.says), std::string::npos) << row.args << ": " << r.output;
    else
      EXPECT_EQ(r.output, "") << row.args;
  }
  EXPECT_EQ(rttest::ServiceState(kService), 0u);
}

// Run once as it is and, from ctest, under LC_ALL=zh_CN.UTF-8 and zh_TW.UTF-8 (Wine takes the
// user's language from the locale the session starts with).
TEST_F(CertdTest, SpeaksTheUsersLanguage) {
  const LANGID language = ::GetUserDefaultLangID();
  char expected_id[16] = {};
  if (::GetEnvironmentVariableA("QM_EXPECT_LANGID", expected_id, sizeof(expected_id))) {
    ASSERT_EQ(std::to_string(language), expected_id) << "the locale did not take";
  }
  const std::pair<LANGID, const char*> files[] = {
      {0x0409, "qmcertd_1033.lng"}, {0x0804, "qmcertd_2052.lng"}, {0x0404, "qmcertd_1028.lng"}};
  const char* file = nullptr;
  for (const auto& row : files)
    if (row.first == language) file = row.second;
  ASSERT_TRUE(file) << "no expectation for language " << language;
  for (bool with_files : {true, false}) {
    if (!with_files) qmtest::DeleteTree(folder_ + "\\lang");
    std::string expected_help = "Usage: qmcertd.exe";  // the built-in English
    std::string expected_status = "The service was not running.";
    if (with_files) {
      qm::MessageTable table = qm::ParseMessageTable(qmtest::ReadFileBytes(rttest::PackageFiles() + "\\" + file));
      expected_help = table["help_usage"];
      expected_status = table["already_stopped"];
    }
    qmtest::ProcessResult help = Certd("-h");
    qmtest::ProcessResult status = Certd("-t");
    EXPECT_EQ(help.exit_as<DaemonResult>(), DaemonResult::kOk);
    EXPECT_NE(help.output.find(expected_help), std::string::npos) << file << with_files << ":\n" << help.output;
    EXPECT_NE(status.output.find(expected_status), std::string::npos) << file << with_files << ":\n" << status.output;
  }
}

TEST_F(CertdTest, EveryLanguageFileHasEveryMessage) {
  qm::MessageTable english =
      qm::ParseMessageTable(qmtest::ReadFileBytes(rttest::PackageFiles() + "\\qmcertd_1033.lng"));
  ASSERT_GT(english.size(), 20u);
  for (const char* file : {"qmcertd_2052.lng", "qmcertd_1028.lng", "qmcertd_4444.lng"}) {
    qm::MessageTable table = qm::ParseMessageTable(qmtest::ReadFileBytes(rttest::PackageFiles() + "\\" + file));
    EXPECT_EQ(table.size(), english.size()) << file;
    for (const auto& message : english) {
      EXPECT_FALSE(table[message.first].empty()) << file << ": " << message.first;
      EXPECT_NE(table[message.first], message.second) << file << ": " << message.first << " is not translated";
    }
  }
}

TEST_F(CertdTest, LogFollowsItsConfiguration) {
  struct Row {
    const char* conf;  // null: no qmlog.conf
    size_t old_log;    // bytes already in the log
    bool logged;
    bool restarted;
  };
  const Row rows[] = {
      {"[log]\r\nLevel=2\r\nMaxSizeKB=256\r\n", 2000, true, false},
      {"[log]\r\nLevel=0\r\n", 0, false, false},
      {"[log]\r\nLevel=2\r\nMaxSizeKB=1\r\n", 2000, true, true},
      {"[log]\r\nLevel=9\r\nMaxSizeKB=0\r\n", 2000, true, false},  // out of range: the defaults
      {nullptr, 0, true, false},
  };
  const std::string conf = folder_ + "\\conf\\qmlog.conf";
  for (const Row& row : rows) {
    qmtest::DeleteTree(folder_ + "\\log");
    ::CreateDirectoryA((folder_ + "\\log").c_str(), nullptr);
    if (row.old_log) {
      ASSERT_TRUE(qmtest::WriteFileBytes(log_, std::string(row.old_log, 'x')));
    }
    if (row.conf) {
      ASSERT_TRUE(qmtest::WriteFileBytes(conf, row.conf));
    } else {
      ::DeleteFileA(conf.c_str());
    }
    EXPECT_EQ(Certd("-r").exit_as<DaemonResult>(), DaemonResult::kOk);
    std::string log = qmtest::ReadFileBytes(log_);
    EXPECT_EQ(log.find("refresh: 0 tokens present") != std::string::npos, row.logged) << row.conf << log;
    EXPECT_EQ(log.find("started afresh") != std::string::npos, row.restarted) << row.conf << log;
    if (row.restarted) {
      EXPECT_LT(log.size(), 1024u);
    }
  }
}

TEST_F(CertdTest, Windows98RefreshesButHasNoServices) {
  qmtest::ProcessResult install = qmtest::RunAsWindowsVersion(exe_, "win98", "-i -s -a");
  EXPECT_EQ(install.exit_as<DaemonResult>(), DaemonResult::kNoServices);
  EXPECT_NE(install.output.find("has no services"), std::string::npos) << install.output;
  EXPECT_EQ(rttest::ServiceState(kService), 0u);
  qmtest::ProcessResult refresh = qmtest::RunAsWindowsVersion(exe_, "win98", "-r -a");
  EXPECT_EQ(refresh.exit_as<DaemonResult>(), DaemonResult::kOk);
  EXPECT_NE(refresh.output.find("Tokens present: 0"), std::string::npos) << refresh.output;
  EXPECT_TRUE(qmtest::FileExists(log_)) << "the refresh logs";
  // The removal has no service to remove, but takes the refresh's log with it.
  qmtest::ProcessResult remove = qmtest::RunAsWindowsVersion(exe_, "win98", "-u -s");
  EXPECT_EQ(remove.exit_as<DaemonResult>(), DaemonResult::kNoServices);
  EXPECT_FALSE(qmtest::FileExists(log_)) << qmtest::ReadFileBytes(log_);
}

}  // namespace

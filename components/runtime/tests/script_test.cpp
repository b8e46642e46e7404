// The runtime chapters of the setup script, run by the real engine: the helper called from the
// unpack folder, the daemons started from a product folder below a folder with a blank, and the
// removal leaving nothing of ours.
#include <gtest/gtest.h>
#include <windows.h>

#include "base/win/reg_key.h"
#include "components/runtime/tests/rt_test_support.h"
#include "tests/win/file_command_fixture.h"

namespace {

constexpr DWORD kWaitMs = 10000;

// Package path -> installed below {QMDIR}.
const std::pair<const char*, const char*> kInstalled[] = {
    {"slotmon\\scardmon.dll", "slotmon\\scardmon.dll"},
    {"slotmon\\hidmon.dll", "slotmon\\hidmon.dll"},
    {"tsp\\qmtsp_kx2.dll", "tsp\\qmtsp_kx2.dll"},
    {"tsp\\qmtsp_rx90.dll", "tsp\\qmtsp_rx90.dll"},
    {"tsp\\qmtsp_kx1.dll", "tsp\\qmtsp_kx1.dll"},
    {"qmcertd.exe", "qmcertd.exe"},
    {"qmcertd_2052.lng", "lang\\qmcertd_2052.lng"},
    {"qmcertd_1033.lng", "lang\\qmcertd_1033.lng"},
    {"qmcertd_1028.lng", "lang\\qmcertd_1028.lng"},
    {"qmcertd_4444.lng", "lang\\qmcertd_4444.lng"},
    {"qmslotd.exe", "qmslotd.exe"},
    {"res\\qmlog.conf", "conf\\qmlog.conf"},
};

const char kChapters[] =
    "VAR {QMDIR} \"{DEST}\\Program Files\\qmsrv\"\r\n"
    "VAR {PRODUCT_NUM} \"1\"\r\n"
    "VAR {MONITOR_ID} \"8A3C41F2-6B0D-4E7A-9C15-3D2E1F0A9B87\"\r\n"
    "VAR {PID_VID} \"096E&0703\"\r\n"
    "VAR {READ_NUM} \"2\"\r\n"
    "VAR {MONITOR_ID_RX90} \"0f3c9a7d21e84b6c95a0d3e7f1b2c4a8\"\r\n"
    "VAR {PID_VID_RX90} \"096E&0702\"\r\n"
    "VAR {READ_NUM_RX90} \"2\"\r\n"
    "[SetupHidReg]\r\n"
    "CALL \"{TMP}\\qmhidreg.dll\", WirteRegForHidDeivice, "
    "\"{PRODUCT_NUM};{PRODUCT_GUID};{MONITOR_ID};{PID_VID};{READ_NUM}\"\r\n"
    "CALL \"{TMP}\\qmhidreg.dll\", WirteRegForHidDeivice, "
    "\"{PRODUCT_NUM};{PRODUCT_GUID};{MONITOR_ID_RX90};{PID_VID_RX90};{READ_NUM_RX90}\"\r\n"
    "[start_Daemon]\r\n"
    "RUN \"{QMDIR}\\qmslotd.exe\", \"-i\", WAIT\r\n"
    "RUN \"{QMDIR}\\qmslotd.exe\", \"-s\", NOWAIT\r\n"
    "[start_certd]\r\n"
    "RUN \"{QMDIR}\\qmcertd.exe\", \"-i -s -a\", WAIT\r\n"
    "RUN \"{QMDIR}\\qmcertd.exe\", \"-r -a\", NOWAIT\r\n"
    "[UnSetupHidReg]\r\n"
    "CALL \"{TMP}\\qmhidreg.dll\", DeleteRegForHidDeivice, \"{PRODUCT_GUID};{PRODUCT_NUM}\"\r\n"
    "[remove_certd]\r\n"
    "RUNIF \"{QMDIR}\\qmcertd.exe\", \"-t\", WAIT\r\n"
    "RUNIF \"{QMDIR}\\qmcertd.exe\", \"-u -s\", WAIT\r\n"
    "[remove_Daemon]\r\n"
    "RUNIF \"{QMDIR}\\qmslotd.exe\", \"-t\", WAIT\r\n"
    "RUNIF \"{QMDIR}\\qmslotd.exe\", \"-u\", WAIT\r\n";

bool WaitForState(const char* service, DWORD state) {
  for (DWORD start = ::GetTickCount(); ::GetTickCount() - start < kWaitMs; ::Sleep(100))
    if (rttest::ServiceState(service) == state) return true;
  return false;
}

class ScriptTest : public qmtest::FileCommandTest {
 protected:
  void SetUp() override {
    for (const char* service : {"qmSlotD", "qmCertD"}) rttest::RemoveService(service);
    rttest::DeleteHidRecords();
    FileCommandTest::SetUp();
  }
  void TearDown() override {
    for (const char* service : {"qmSlotD", "qmCertD"}) rttest::RemoveService(service);
    rttest::DeleteHidRecords();
    FileCommandTest::TearDown();
  }
};

TEST_F(ScriptTest, InstallAndRemoveLeaveNothingOfOurs) {
  qmtest::PackageFiles payload = {{"qmhidreg.dll", qmtest::ReadFileBytes(qmtest::BinFolder() + "\\qmhidreg.dll")}};
  std::string chapters = kChapters;
  chapters += "[copy]\r\n";
  for (const auto& file : kInstalled) {
    std::string built = qmtest::BinFolder() + "\\" + qmtest::Split(file.first, "\\").back();
    if (!qmtest::FileExists(built)) built = rttest::PackageFiles() + "\\" + file.first;
    payload.push_back({file.first, qmtest::ReadFileBytes(built)});
    chapters +=
        std::string("COPY \"{TMP}\\") + file.first + "\", \"{QMDIR}\\" + file.second + "\", UPDATE|ADD_REF_COUNT\r\n";
  }
  ASSERT_NO_FATAL_FAILURE(Prepare(chapters, payload));
  const std::string qmdir = dest_ + "\\Program Files\\qmsrv";

  for (const char* chapter : {"copy", "SetupHidReg", "start_Daemon"}) ASSERT_EQ(Step(chapter), 0) << chapter;
  EXPECT_TRUE(WaitForState("qmSlotD", SERVICE_RUNNING));
  ASSERT_EQ(Step("start_certd"), 0);
  EXPECT_EQ(rttest::ServiceState("qmCertD"), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_TRUE(rttest::WaitForFileText(qmdir + "\\log\\qmcertd.log", "refresh: 0 tokens present", kWaitMs));
  EXPECT_TRUE(rttest::WaitForFileText(qmdir + "\\log\\qmslotd.log", "watching 096E&0702", kWaitMs))
      << qmtest::ReadFileBytes(qmdir + "\\log\\qmslotd.log");
  const DWORD slotd = rttest::ServiceProcessId("qmSlotD");
  const DWORD certd = rttest::ServiceProcessId("qmCertD");

  for (const char* chapter : {"UnSetupHidReg", "remove_certd", "remove_Daemon"}) EXPECT_EQ(Step(chapter), 0) << chapter;
  for (const char* service : {"qmSlotD", "qmCertD"}) EXPECT_EQ(rttest::ServiceState(service), 0u) << service;
  EXPECT_FALSE(rttest::ProcessRunning(slotd));
  EXPECT_FALSE(rttest::ProcessRunning(certd));
  EXPECT_FALSE(qmtest::FileExists(qmdir + "\\log"));
  qm::RegKey records;  // HKLM\Software\QMHid went with the product's last entry
  EXPECT_EQ(records.Open(HKEY_LOCAL_MACHINE, rttest::kHidRoot, KEY_READ), ERROR_FILE_NOT_FOUND);
}

}  // namespace

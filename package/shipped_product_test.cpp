// The shipped product end to end under Wine: the real front with the real package, installed and
// removed, with what the clients of the runtime see (the service manager, CryptoAPI, a PKCS#11
// consumer) in between.
#include <windows.h>
#include <shlwapi.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "base/win/reg_key.h"
#include "components/crypto/p11/cryptoki.h"
#include "engine/script/args.h"
#include "engine/script/script.h"
#include "tests/win/engine_fixture.h"
#include "tests/win/test_support.h"

namespace {

using Lines = std::vector<std::string>;

constexpr char kProduct[] = "6F1C2E4A-3B7D-4C59-9E21-0A8B7D6C5E41_KX2TOKENMINI";
constexpr char kCsp[] = "QM KX2 Token CSP";
constexpr char kCspKey[] = "SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\QM KX2 Token CSP";
const char* const kSystemFiles[] = {"qmp11.dll", "qmcsp.dll", "qmcsp.dat", "qmcsp.sig", "qmcsp2.sig"};

std::string ProductFolder() {
  qm::RegKey key;
  std::string folder;
  key.Open(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", KEY_QUERY_VALUE);
  key.ReadString("ProgramFilesDir", &folder);
  return folder + "\\qmsrv";
}

// Files below |folder| but the daemons' own logs.
Lines Installed(const std::string& folder) {
  Lines out;
  for (const std::string& f : qmtest::ListTree(folder, false))
    if (f.compare(0, 4, "log\\") != 0) out.push_back(f);
  return out;
}

int SystemFilesPresent() {
  int n = 0;
  for (const char* f : kSystemFiles) n += qmtest::FileExists(qmtest::SystemFolder() + "\\" + f);
  return n;
}

// "RUNNING", "STOPPED", ... as Wine's sc.exe reports it, or "" when there is no such service.
std::string ServiceState(const char* name) {
  qmtest::ProcessResult r = qmtest::RunProcess(std::string("sc query ") + name);
  size_t at = r.output.find("STATE");
  if (r.exit_code != 0 || at == std::string::npos) return "";
  for (const char* state : {"RUNNING", "STOPPED", "START_PENDING", "STOP_PENDING"})
    if (r.output.find(state, at) != std::string::npos) return state;
  return "?";
}

void RemoveService(const char* name) {
  qmtest::RunProcess(std::string("sc stop ") + name);
  ::Sleep(500);
  qmtest::RunProcess(std::string("sc delete ") + name);
}

// Every trace an install leaves, gone, so each test starts from a machine that never saw us.
void CleanMachine() {
  for (const char* service : {"qmCertD", "qmSlotD"}) RemoveService(service);
  qmtest::CleanEngineTraces();
  ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\QMHid");
  ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, kCspKey);
  qmtest::DeleteTree(ProductFolder());
  for (const char* f : kSystemFiles) ::DeleteFileA((qmtest::SystemFolder() + "\\" + f).c_str());
  const std::string engine = qmtest::StagingFolder() + "\\QMSetup.dll";
  while (HMODULE h = ::GetModuleHandleA(engine.c_str())) ::FreeLibrary(h);
  qmtest::DeleteTree(qmtest::StagingFolder());
}

// What CryptoAPI answers for our provider: its name from a verify context, or "" when it cannot
// acquire one.
std::string ProviderName() {
  HCRYPTPROV provider = 0;
  if (!::CryptAcquireContextA(&provider, nullptr, kCsp, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return "";
  char name[256] = {};
  DWORD size = sizeof(name);
  ::CryptGetProvParam(provider, PP_NAME, reinterpret_cast<BYTE*>(name), &size, 0);
  BYTE random[16] = {};
  const bool random_ok = ::CryptGenRandom(provider, sizeof(random), random);
  ::CryptReleaseContext(provider, 0);
  return random_ok ? name : "no random numbers";
}

// A PKCS#11 consumer of the installed module: initialise, information, slots, finalise.
void WalkCryptoki(const std::string& module_path) {
  qm::ScopedModule module(::LoadLibraryA(module_path.c_str()));
  ASSERT_TRUE(module.is_valid()) << module_path;
  auto get_list = reinterpret_cast<CK_RV (*)(CK_FUNCTION_LIST_PTR_PTR)>(::GetProcAddress(module.get(), "C_GetFunctionList"));
  ASSERT_NE(get_list, nullptr);
  CK_FUNCTION_LIST_PTR p11 = nullptr;
  ASSERT_EQ(get_list(&p11), CKR_OK);
  EXPECT_EQ(p11->C_Initialize(nullptr), CKR_OK);
  CK_INFO info;
  EXPECT_EQ(p11->C_GetInfo(&info), CKR_OK);
  EXPECT_EQ(info.cryptokiVersion.major, 2);
  EXPECT_EQ(info.cryptokiVersion.minor, 40);
  CK_ULONG slots = 99;
  EXPECT_EQ(p11->C_GetSlotList(CK_TRUE, nullptr, &slots), CKR_OK);
  EXPECT_EQ(slots, 0u) << "no token attached";
  EXPECT_EQ(p11->C_Finalize(nullptr), CKR_OK);
}

class ShippedProductTest : public ::testing::Test {
 protected:
  void SetUp() override { CleanMachine(); }
  void TearDown() override { CleanMachine(); }
};

TEST(ShippedScript, ChaptersAndArguments) {
  const std::string folder = qmtest::MakeScratchFolder("shipped_script");
  ASSERT_EQ(qmtest::RunProcess("\"" + qmtest::BinFolder() + "\\qmpack.exe\" extract \"" + qmtest::BinFolder() +
                               "\\KX2.dat\" \"" + folder + "\"")
                .exit_code,
            0u);
  const std::string text = qmtest::ReadFileBytes(folder + "\\qmsetup.ini");
  qm::Script script;
  qm::ScriptParse(text, &script);
  Lines names;
  for (const auto& chapter : script.chapters) names.push_back(chapter.first);
  EXPECT_EQ(names, (Lines{"ACTLIST", "COMMON", "FILES", "RegCSP", "SetupHidReg", "UN.ACTLIST", "UnRegCSP",
                          "UnSetupHidReg", "copy", "delete", "remove_Daemon", "remove_certd", "repaircopy",
                          "start_Daemon", "start_certd"}));
  EXPECT_EQ(script.lines.front(), "[COMMON]");
  const qm::ChapterLines& reg = script.chapters.at("RegCSP").lines;
  std::string parameter;
  ASSERT_TRUE(qm::ArgsOuterQuoted(reg[1].substr(reg[1].rfind(',') + 1), &parameter));
  EXPECT_EQ(parameter, "\"i\";\"{SYSDIR}\\qmcsp.dll\";\"{SYSDIR}\\qmcsp2.sig\";\"QM KX2 Token CSP\"")
      << "the inner quotes stay";
  EXPECT_EQ(script.chapters.at("FILES").lines.size(), 30u) << "the header and 29 CHECK lines";
  EXPECT_EQ(script.chapters.at("copy").lines.size(), 27u);
  EXPECT_EQ(script.chapters.at("delete").lines.size(), 27u);
  qmtest::DeleteTree(folder);
}

TEST_F(ShippedProductTest, FilesChapterNeedsEveryFile) {
  const std::string folder = qmtest::MakeScratchFolder("shipped_missing");
  ASSERT_TRUE(::CopyFileA((qmtest::BinFolder() + "\\QMSetup.dll").c_str(), (folder + "\\QMSetup.dll").c_str(), FALSE));
  ASSERT_EQ(qmtest::RunProcess("\"" + qmtest::BinFolder() + "\\qmpack.exe\" extract \"" + qmtest::BinFolder() +
                               "\\KX2.dat\" \"" + folder + "\\src\"")
                .exit_code,
            0u);
  // The shipped package again, without its replacement program.
  qmtest::PackageFiles files;
  for (const std::string& line : qmtest::Split(qmtest::ReadFileBytes(qmtest::BinFolder() + "\\..\\package-root.lst"), "\n")) {
    if (line.empty() || line == "_REMOVED.exe") continue;
    files.push_back({line, qmtest::ReadFileBytes(folder + "\\src\\" + line)});
  }
  files.insert(files.begin(), {"qmsetup.ini", qmtest::ReadFileBytes(folder + "\\src\\qmsetup.ini")});
  ASSERT_EQ(qmtest::WritePackage(folder + "\\KX2.dat", files), "");
  HMODULE engine = ::LoadLibraryA((folder + "\\QMSetup.dll").c_str());
  ASSERT_NE(engine, nullptr);
  auto prepare = reinterpret_cast<int(__stdcall*)(const char*)>(::GetProcAddress(engine, "Prepare"));
  EXPECT_EQ(prepare("KX2.dat"), 4);
  Lines log = qmtest::EngineLogLines();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "Check " + folder + "\\KX2\\_REMOVED.exe Not exist.");
  ::FreeLibrary(engine);
  qmtest::DeleteTree(folder);
}

TEST_F(ShippedProductTest, InstallThroughTheFrontAndRemove) {
  HMODULE front = ::LoadLibraryA((qmtest::BinFolder() + "\\Inst_kx2.dll").c_str());
  ASSERT_NE(front, nullptr);
  qmtest::FrontExports kx;
  ASSERT_TRUE(kx.Bind(front));
  ASSERT_EQ(kx.PrePareCheck(), qm::FrontResult::kOk);
  ASSERT_EQ(kx.Install(3), qm::FrontResult::kOk);

  const std::string folder = ProductFolder();
  EXPECT_EQ(Installed(folder).size(), 21u);
  EXPECT_EQ(SystemFilesPresent(), 5);
  EXPECT_EQ(qmtest::RegistryTree(std::string("Software\\QMSrv\\Product\\") + kProduct), (Lines{"|PRODUCT_VER=SZ:\"10.10271150\""}));
  EXPECT_EQ(qmtest::RegistryTree("Software\\QMSrv\\Ref").size(), 26u);
  EXPECT_EQ(ServiceState("qmSlotD"), "RUNNING");
  EXPECT_EQ(ServiceState("qmCertD"), "RUNNING");
  EXPECT_EQ(qmtest::RegistryTree(std::string("Software\\QMHid\\") + kProduct).size(), 7u) << "the product key and two devices of three values";
  EXPECT_EQ(ProviderName(), kCsp);
  WalkCryptoki(qmtest::SystemFolder() + "\\qmp11.dll");

  const size_t log_lines = qmtest::EngineLogLines().size();
  EXPECT_EQ(kx.Install(3), qm::FrontResult::kOk) << "installed already: nothing to do";
  Lines again = qmtest::EngineLogLines();
  EXPECT_EQ(std::count_if(again.begin() + log_lines, again.end(),
                          [](const std::string& l) { return l.compare(0, 21, "DoStep OneChapter is ") == 0; }),
            0);

  ASSERT_EQ(kx.Uninstall(), qm::FrontResult::kOk);
  EXPECT_FALSE(qmtest::FileExists(folder)) << "files, subfolders, the daemons' logs and the folder itself";
  EXPECT_EQ(SystemFilesPresent(), 0);
  EXPECT_FALSE(qmtest::RegistryKeyExists("Software\\QMSrv"));
  EXPECT_FALSE(qmtest::RegistryKeyExists("Software\\QMHid"));
  EXPECT_FALSE(qmtest::RegistryKeyExists(kCspKey));
  EXPECT_EQ(ServiceState("qmSlotD"), "");
  EXPECT_EQ(ServiceState("qmCertD"), "");
  EXPECT_EQ(ProviderName(), "") << "CryptoAPI no longer knows the provider";
  EXPECT_EQ(kx.Uninstall(), qm::FrontResult::kOk) << "nothing left to remove";
  ::FreeLibrary(front);
}

TEST_F(ShippedProductTest, OneCallInterfaceOnTheSamePackage) {
  const std::string folder = qmtest::MakeScratchFolder("shipped_onecall");
  for (const char* f : {"QMSetup.dll", "KX2.dat"})
    ASSERT_TRUE(::CopyFileA((qmtest::BinFolder() + "\\" + f).c_str(), (folder + "\\" + f).c_str(), FALSE));
  HMODULE engine = ::LoadLibraryA((folder + "\\QMSetup.dll").c_str());
  ASSERT_NE(engine, nullptr);
  auto call = [&](const char* name) { return reinterpret_cast<int(__stdcall*)(const char*)>(::GetProcAddress(engine, name)); };
  EXPECT_EQ(call("instMW_IsHaveInstalled")("KX2.dat"), 0);
  EXPECT_EQ(call("instMW_Install")("KX2.dat"), 0);
  EXPECT_EQ(call("instMW_IsHaveInstalled")("KX2.dat"), 2) << "the same version";
  EXPECT_EQ(Installed(ProductFolder()).size(), 21u);
  EXPECT_EQ(ServiceState("qmSlotD"), "RUNNING");
  EXPECT_EQ(call("instMW_Install")("KX2.dat"), 11);
  EXPECT_EQ(call("instMW_Uninstall")("KX2.dat"), 0);
  EXPECT_EQ(call("instMW_IsHaveInstalled")("KX2.dat"), 0);
  EXPECT_FALSE(qmtest::RegistryKeyExists("Software\\QMSrv"));
  EXPECT_EQ(ServiceState("qmSlotD"), "");
  ::FreeLibrary(engine);
  qmtest::DeleteTree(folder);
}

// The NSIS example as a host setup program: silent install, then its silent uninstaller.
TEST_F(ShippedProductTest, NsisHostInstallsAndRemoves) {
  qmtest::ProcessResult setup = qmtest::RunProcess("\"" + qmtest::BinFolder() + "\\kx2-setup.exe\" /S", 300000);
  EXPECT_EQ(setup.exit_code, 0u) << setup.output;
  EXPECT_TRUE(qmtest::RegistryKeyExists(std::string("Software\\QMSrv\\Product\\") + kProduct));
  EXPECT_EQ(ServiceState("qmSlotD"), "RUNNING");
  qm::RegKey key;
  std::string program_files;
  key.Open(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", KEY_QUERY_VALUE);
  key.ReadString("ProgramFilesDir", &program_files);
  const std::string host = program_files + "\\KX2 Setup";
  ASSERT_TRUE(qmtest::FileExists(host + "\\uninstall.exe"));
  // _?= makes the uninstaller run in place and wait, instead of copying itself away.
  qmtest::ProcessResult removal = qmtest::RunProcess("\"" + host + "\\uninstall.exe\" /S _?=" + host, 300000);
  EXPECT_EQ(removal.exit_code, 0u) << removal.output;
  EXPECT_FALSE(qmtest::RegistryKeyExists("Software\\QMSrv"));
  EXPECT_EQ(ServiceState("qmSlotD"), "");
  ::DeleteFileA((host + "\\uninstall.exe").c_str());
  qmtest::DeleteTree(host);
}

}  // namespace

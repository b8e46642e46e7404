// The front driven through its exports under Wine, with a stand-in engine that answers what each
// test asks for and records the calls it gets.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "front/os_version.h"
#include "qmsetup/results.h"
#include "tests/win/test_support.h"

namespace {

using qm::FrontResult;

const char kInstallCalls[] =
    "Prepare:KX2.dat|IsInstall:INSTALL|SetLangID:2052|DoStep:FILES|DoStep:copy|Finish|DoStep:SetupHidReg|"
    "DoStep:start_Daemon|DoStep:RegCSP|DoStep:start_certd";
const char kUninstallCalls[] =
    "Prepare:KX2.dat|IsInstall:UNINSTALL|DoStep:remove_certd|DoStep:remove_Daemon|DoStep:UnRegCSP|DoStep:delete|"
    "DoStep:UnSetupHidReg|Finish";

std::string GetEnv(const char* name) {
  char buffer[32768];
  DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  return n < sizeof(buffer) ? std::string(buffer, n) : std::string();
}

std::string StagedEngine() { return qmtest::StagingFolder() + "\\QMSetup.dll"; }
std::string StagedPackage() { return qmtest::StagingFolder() + "\\KX2.dat"; }

HMODULE LoadedEngine() { return ::GetModuleHandleA(StagedEngine().c_str()); }

// The front leaves the engine loaded after an early return, by design; tests start clean.
void UnloadStagedEngine() {
  for (int i = 0; i < 100 && LoadedEngine(); ++i) ::FreeLibrary(LoadedEngine());
}

class FrontTest : public ::testing::Test {
 protected:
  void SetUp() override { Load("Inst_kx2_fake.dll"); }

  void Load(const char* front) {
    UnloadStagedEngine();
    if (front_) ::FreeLibrary(front_);
    ::DeleteFileA(StagedEngine().c_str());
    ::DeleteFileA(StagedPackage().c_str());
    ::DeleteFileA(qmtest::MarkerPath().c_str());
    ::SetEnvironmentVariableA("QM_FAKE_CALLS", nullptr);
    ::SetEnvironmentVariableA("QM_FAKE_TICKS", nullptr);
    ::SetEnvironmentVariableA("QM_FAKE_ANSWERS", nullptr);
    front_ = ::LoadLibraryA(front);
    ASSERT_NE(front_, nullptr) << front;
    ASSERT_TRUE(kx_.Bind(front_));
  }

  void TearDown() override {
    UnloadStagedEngine();
    if (front_) ::FreeLibrary(front_);
    ::DeleteFileA(qmtest::MarkerPath().c_str());
  }

  static void Answer(const std::string& answers) { ::SetEnvironmentVariableA("QM_FAKE_ANSWERS", answers.c_str()); }
  static std::string Calls() { return GetEnv("QM_FAKE_CALLS"); }
  static std::vector<DWORD> Ticks() {
    std::vector<DWORD> ticks;
    std::stringstream in(GetEnv("QM_FAKE_TICKS"));
    std::string item;
    while (std::getline(in, item, '|')) ticks.push_back(std::strtoul(item.c_str(), nullptr, 10));
    return ticks;
  }

  HMODULE front_ = nullptr;
  qmtest::FrontExports kx_;
};

TEST_F(FrontTest, ExportsExactlyTheThreeEntryPoints) {
  HMODULE real = ::LoadLibraryA("Inst_kx2.dll");
  ASSERT_NE(real, nullptr);
  std::vector<std::string> names;
  for (const auto& e : qmtest::ModuleExports(real)) names.push_back(e.name);
  ::FreeLibrary(real);
  EXPECT_EQ(names, (std::vector<std::string>{"kx_Install", "kx_PrePareCheck", "kx_Uninstall"}));
}

TEST_F(FrontTest, InstallRunsTheFixedSequenceAndUnloadsTheEngine) {
  ASSERT_EQ(kx_.Install(1), FrontResult::kOk);
  EXPECT_EQ(Calls(), kInstallCalls);
  std::vector<DWORD> ticks = Ticks();
  ASSERT_EQ(ticks.size(), 10u);
  EXPECT_GE(ticks[9] - ticks[8], 2950u) << "start_certd must follow RegCSP after a 3000 ms pause";
  EXPECT_EQ(LoadedEngine(), nullptr);
  EXPECT_EQ(qmtest::ReadFileBytes(StagedEngine()), qmtest::ReadFileBytes(qmtest::BinFolder() + "\\fake_engine.dll"));
  EXPECT_EQ(qmtest::ReadFileBytes(StagedPackage()), "fake package body\n");
}

struct MappingCase {
  const char* answers;
  FrontResult expected;
  size_t calls_made;  // how many calls of the full sequence happen
  bool engine_stays_loaded;
};

class FrontInstallMapping : public FrontTest, public ::testing::WithParamInterface<MappingCase> {};

// The first |count| calls of a "|"-separated sequence.
std::string FirstCalls(const std::string& sequence, size_t count) {
  size_t cut = 0;
  for (size_t i = 0; i < count && cut != std::string::npos; ++i) cut = sequence.find('|', cut + (i ? 1 : 0));
  return cut == std::string::npos ? sequence : sequence.substr(0, cut);
}

TEST_P(FrontInstallMapping, MapsEngineAnswers) {
  const MappingCase& c = GetParam();
  Answer(c.answers);
  EXPECT_EQ(kx_.Install(1), c.expected);
  EXPECT_EQ(Calls(), FirstCalls(kInstallCalls, c.calls_made));
  EXPECT_EQ(LoadedEngine() != nullptr, c.engine_stays_loaded);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FrontInstallMapping,
    ::testing::Values(MappingCase{"Prepare=12", FrontResult::kEngineFailed, 1, true},  // restart pending
                      MappingCase{"Prepare=18", FrontResult::kEngineFailed, 1, true},  // another process
                      MappingCase{"IsInstall=15", FrontResult::kOk, 2, true},  // already installed
                      MappingCase{"IsInstall=5", FrontResult::kEngineFailed, 2, true},
                      MappingCase{"IsInstall=20", FrontResult::kEngineFailed, 2, true},  // 20 counts only for removal
                      MappingCase{"SetLangID=2", FrontResult::kEngineFailed, 3, true},
                      MappingCase{"DoStep:FILES=4", FrontResult::kEngineFailed, 4, true},
                      MappingCase{"DoStep:copy=3", FrontResult::kEngineFailed, 5, true},
                      MappingCase{"Finish=13", FrontResult::kEngineFailed, 6, true},
                      MappingCase{"Finish=1", FrontResult::kEngineFailed, 6, true},
                      MappingCase{"DoStep:SetupHidReg=8", FrontResult::kEngineFailed, 7, true},
                      MappingCase{"DoStep:start_Daemon=7", FrontResult::kEngineFailed, 8, true},
                      MappingCase{"DoStep:RegCSP=1", FrontResult::kEngineFailed, 9, true},
                      MappingCase{"Finish=12", FrontResult::kRestartNeeded, 10, false},
                      MappingCase{"DoStep:start_certd=4", FrontResult::kEngineFailed, 10, true}));

class FrontUninstallMapping : public FrontTest, public ::testing::WithParamInterface<MappingCase> {};

TEST_P(FrontUninstallMapping, MapsEngineAnswers) {
  const MappingCase& c = GetParam();
  Answer(c.answers);
  EXPECT_EQ(kx_.Uninstall(), c.expected);
  EXPECT_EQ(Calls(), FirstCalls(kUninstallCalls, c.calls_made));
  EXPECT_EQ(LoadedEngine() != nullptr, c.engine_stays_loaded);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, FrontUninstallMapping,
    ::testing::Values(MappingCase{"", FrontResult::kOk, 8, false},
                      MappingCase{"Prepare=12", FrontResult::kEngineFailed, 1, true},
                      MappingCase{"IsInstall=20", FrontResult::kOk, 2, true},  // nothing installed
                      MappingCase{"IsInstall=15", FrontResult::kEngineFailed, 2, true},
                      MappingCase{"DoStep:remove_certd=4", FrontResult::kOk, 8, false},  // 4 goes on
                      MappingCase{"DoStep:UnRegCSP=4;DoStep:delete=4", FrontResult::kOk, 8, false},
                      MappingCase{"DoStep:UnRegCSP=4;Finish=12", FrontResult::kRestartNeeded, 8, false},
                      MappingCase{"DoStep:remove_Daemon=3", FrontResult::kEngineFailed, 4, true},
                      MappingCase{"DoStep:UnSetupHidReg=9", FrontResult::kEngineFailed, 7, true},
                      MappingCase{"Finish=20", FrontResult::kEngineFailed, 8, true}));

TEST_F(FrontTest, UnknownSelectorStagesAndBindsThenReturns5) {
  for (int selector : {0, 4, -1}) {
    EXPECT_EQ(kx_.Install(selector), FrontResult::kBadLanguage) << selector;
    EXPECT_EQ(Calls(), "");
    EXPECT_NE(LoadedEngine(), nullptr);
    EXPECT_TRUE(qmtest::FileExists(StagedPackage()));
  }
}

// Run twice by ctest: in the default locale and with zh_CN (QM_EXPECT_LANGID=2052).
TEST_F(FrontTest, SelectorPassesItsLanguage) {
  const std::string expect_langid = GetEnv("QM_EXPECT_LANGID");
  if (!expect_langid.empty()) {
    ASSERT_EQ(std::to_string(::GetUserDefaultLangID()), expect_langid);
  }
  const std::string third = ::GetUserDefaultLangID() == 2052 ? "4444" : "1028";
  const std::pair<int, std::string> rows[] = {{1, "2052"}, {2, "1033"}, {3, third}};
  for (const auto& row : rows) {
    ::SetEnvironmentVariableA("QM_FAKE_CALLS", nullptr);
    Answer("SetLangID=2");  // stop right after the language is handed over
    EXPECT_EQ(kx_.Install(row.first), FrontResult::kEngineFailed);
    EXPECT_EQ(Calls(), "Prepare:KX2.dat|IsInstall:INSTALL|SetLangID:" + row.second) << row.first;
  }
}

TEST_F(FrontTest, SecondRunBindsTheEngineStillLoadedFromTheFirst) {
  Answer("IsInstall=15");
  ASSERT_EQ(kx_.Install(1), FrontResult::kOk);
  HMODULE first = LoadedEngine();
  ASSERT_NE(first, nullptr);
  Answer("");
  ::SetEnvironmentVariableA("QM_FAKE_CALLS", nullptr);
  ASSERT_EQ(kx_.Uninstall(), FrontResult::kOk);  // staging meets the loaded engine file and keeps it
  EXPECT_EQ(Calls(), kUninstallCalls);
  EXPECT_EQ(LoadedEngine(), first) << "one reference from the first run is still held";
}

TEST_F(FrontTest, EngineWithoutAllEntryPointsGives2AndStaysLoaded) {
  Load("Inst_kx2_fake_nofinish.dll");
  EXPECT_EQ(kx_.Install(1), FrontResult::kEngineFailed);
  EXPECT_EQ(kx_.Uninstall(), FrontResult::kEngineFailed);
  EXPECT_EQ(Calls(), "");
  EXPECT_NE(LoadedEngine(), nullptr);
}

TEST_F(FrontTest, MissingPackageResourceIsAStagingFailure) {
  Load("Inst_kx2_fake_nopkg.dll");
  EXPECT_EQ(kx_.Install(1), FrontResult::kStagingFailed);
  EXPECT_EQ(kx_.Uninstall(), FrontResult::kStagingFailed);
  EXPECT_EQ(LoadedEngine(), nullptr);
}

struct HeldFileCase {
  const char* name;
  bool engine;        // the staged engine, else the staged package
  const char* bytes;  // "ours": what the front carries; "foreign": anything else
  const char* hold;   // FileHolder mode
  FrontResult expected;  // from both kx_Install and kx_Uninstall
};

// A file at the staging path held by another process is used only when it holds our bytes.
TEST_F(FrontTest, FilesHeldAtTheStagingPathAreUsedOnlyWhenTheyAreOurs) {
  const std::string planted = qmtest::ReadFileBytes(qmtest::BinFolder() + "\\fake_engine_planted.dll");
  const std::string ours_engine = qmtest::ReadFileBytes(qmtest::BinFolder() + "\\fake_engine.dll");
  const std::string ours_package = "fake package body\n";
  ASSERT_FALSE(planted.empty());
  const HeldFileCase rows[] = {
      {"planted engine open for reading", true, "foreign", "read", FrontResult::kStagingFailed},
      {"planted engine loaded by another process", true, "foreign", "load", FrontResult::kStagingFailed},
      {"planted engine open with no sharing", true, "foreign", "", FrontResult::kStagingFailed},
      {"our engine loaded by another process", true, "ours", "load", FrontResult::kOk},
      {"planted package open for reading", false, "foreign", "read", FrontResult::kStagingFailed},
      {"our package open for reading", false, "ours", "read", FrontResult::kOk},
      {"our package open with no sharing (cannot be compared)", false, "ours", "", FrontResult::kStagingFailed},
  };
  for (const HeldFileCase& row : rows) {
    SCOPED_TRACE(row.name);
    Load("Inst_kx2_fake.dll");
    ::SetEnvironmentVariableA("QM_PLANTED_CALLS", nullptr);
    ::CreateDirectoryA(qmtest::StagingFolder().c_str(), nullptr);
    const std::string path = row.engine ? StagedEngine() : StagedPackage();
    const bool ours = std::string(row.bytes) == "ours";
    const std::string content = row.engine ? (ours ? ours_engine : planted) : (ours ? ours_package : "foreign package");
    ASSERT_TRUE(qmtest::WriteFileBytes(path, content));
    qmtest::FileHolder holder(path, row.hold);
    ASSERT_TRUE(holder.holding());
    Answer("IsInstall:INSTALL=15");  // spares the install its pause; the engine stays bound
    EXPECT_EQ(kx_.Install(1), row.expected);
    EXPECT_EQ(kx_.Uninstall(), row.expected);
    EXPECT_EQ(GetEnv("QM_PLANTED_CALLS"), "") << "a planted engine is never called";
    if (row.expected == FrontResult::kOk) {
      EXPECT_EQ(Calls(), std::string("Prepare:KX2.dat|IsInstall:INSTALL|") + kUninstallCalls);
      EXPECT_EQ(qmtest::ReadFileBytes(StagedPackage()), ours_package);
    } else {
      EXPECT_EQ(Calls(), "");
      EXPECT_EQ(LoadedEngine(), nullptr);
    }
  }
}

// A host that moves TMP between two calls gets a new staging path: what the guards of the first
// call vouched for says nothing about the files there.
TEST_F(FrontTest, AnotherTempFolderIsStagedAndCheckedAgain) {
  Answer("IsInstall=15");  // an early return: the engine and its guards stay
  ASSERT_EQ(kx_.Install(1), FrontResult::kOk);
  const std::string temp = GetEnv("TMP");
  const std::string other = qmtest::MakeScratchFolder("other-temp");
  ::SetEnvironmentVariableA("TMP", (other + "\\").c_str());
  const std::string planted_engine = qmtest::StagingFolder() + "\\QMSetup.dll";
  ASSERT_EQ(planted_engine, other + "\\B80500FF-D0E3-4de4-8D34-81575E59092C\\QMSetup.dll");
  ::CreateDirectoryA(qmtest::StagingFolder().c_str(), nullptr);
  ASSERT_TRUE(qmtest::WriteFileBytes(planted_engine,
                                     qmtest::ReadFileBytes(qmtest::BinFolder() + "\\fake_engine_planted.dll")));
  ::SetEnvironmentVariableA("QM_PLANTED_CALLS", nullptr);
  {
    qmtest::FileHolder holder(planted_engine, "read");
    ASSERT_TRUE(holder.holding());
    EXPECT_EQ(kx_.Install(1), FrontResult::kStagingFailed);
    EXPECT_EQ(kx_.Uninstall(), FrontResult::kStagingFailed);
  }
  EXPECT_EQ(GetEnv("QM_PLANTED_CALLS"), "") << "a planted engine is never called";
  EXPECT_EQ(::GetModuleHandleA(planted_engine.c_str()), nullptr);
  ::SetEnvironmentVariableA("TMP", temp.empty() ? nullptr : temp.c_str());
  qmtest::DeleteTree(other);
}

TEST_F(FrontTest, StagedFilesCannotBeReplacedWhileTheEngineIsLoaded) {
  ::SetEnvironmentVariableA("QM_FAKE_PROBE_WRITES", "1");
  Answer("IsInstall=15");  // an early return: the engine, and its files' guards, stay
  EXPECT_EQ(kx_.Install(1), FrontResult::kOk);
  EXPECT_EQ(GetEnv("QM_FAKE_PROBE"), "engine:denied,kept|package:denied,kept") << "from inside Prepare";
  EXPECT_FALSE(qmtest::WriteFileBytes(StagedPackage(), "x")) << "still guarded after the early return";

  Answer("");
  EXPECT_EQ(kx_.Uninstall(), FrontResult::kOk) << "the next run binds the same engine and reuses the guards";
  ::SetEnvironmentVariableA("QM_FAKE_PROBE_WRITES", nullptr);
  UnloadStagedEngine();
  EXPECT_TRUE(qmtest::WriteFileBytes(StagedPackage(), "x")) << "released with the engine";
}

// The owner and the allowed entries of a folder's DACL, SIDs as text: "S-1-5-18 001f01ff 03"
// (mask and inheritance flags in hex), and whether the DACL is protected from inheritance.
struct FolderSecurity {
  std::string owner;
  std::vector<std::string> allowed;
  bool protected_dacl = false;
};

std::string SidText(PSID sid) {
  char* text = nullptr;
  if (!::ConvertSidToStringSidA(sid, &text)) return "?";
  std::string out = text;
  ::LocalFree(text);
  return out;
}

FolderSecurity ReadFolderSecurity(const std::string& folder) {
  FolderSecurity out;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                              &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return out;
  out.owner = SidText(owner);
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ::GetSecurityDescriptorControl(descriptor, &control, &revision);
  out.protected_dacl = (control & SE_DACL_PROTECTED) != 0;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (!::GetAce(dacl, i, reinterpret_cast<void**>(&ace)) || ace->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
    char line[64];
    std::snprintf(line, sizeof(line), " %08lx %02x", ace->Mask, ace->Header.AceFlags);
    out.allowed.push_back(SidText(&ace->SidStart) + line);
  }
  ::LocalFree(descriptor);
  return out;
}

std::string ProcessUserSid() {
  HANDLE token = nullptr;
  ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token);
  alignas(TOKEN_USER) char buffer[256];
  DWORD needed = 0;
  const bool ok = ::GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &needed);
  ::CloseHandle(token);
  return ok ? SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid) : "?";
}

// Run as SYSTEM the Temp folder is the machine's, where any user may make the staging folder
// first: the front makes it private, and refuses one that is not. Wine keeps of a security
// descriptor only what maps to the Unix mode (this account, and Everyone for the others), so the
// owners and the other trustees are the folder rule's own test.
TEST_F(FrontTest, StagingFolderIsMadePrivate) {
  qmtest::DeleteTree(qmtest::StagingFolder());
  Answer("IsInstall=15");
  ASSERT_EQ(kx_.Install(1), FrontResult::kOk);
  const std::string user = ProcessUserSid();
  const FolderSecurity made = ReadFolderSecurity(qmtest::StagingFolder());
  EXPECT_EQ(made.owner, user);
  EXPECT_EQ(made.allowed, (std::vector<std::string>{"S-1-5-18 001f01ff 03", user + " 001f01ff 03"}))
      << "nobody else, where a folder made without a DACL lets Everyone read";
  const std::string plain = qmtest::MakeScratchFolder("plain");
  const FolderSecurity other = ReadFolderSecurity(plain);
  qmtest::DeleteTree(plain);
  ASSERT_NE(other.allowed, made.allowed);
  Answer("");
  EXPECT_EQ(kx_.Uninstall(), FrontResult::kOk) << "the folder of an earlier run is ours";
}

TEST_F(FrontTest, StagingFolderOthersMayWriteToIsRefused) {
  const std::pair<const char*, DWORD> rows[] = {
      {"Everyone may write", NO_INHERITANCE},
      {"Everyone may write what is created in it", SUB_CONTAINERS_AND_OBJECTS_INHERIT},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.first);
    Load("Inst_kx2_fake.dll");
    qmtest::DeleteTree(qmtest::StagingFolder());
    ASSERT_TRUE(::CreateDirectoryA(qmtest::StagingFolder().c_str(), nullptr));
    PSID everyone = nullptr;
    ASSERT_TRUE(::ConvertStringSidToSidA("S-1-1-0", &everyone));
    EXPLICIT_ACCESSA entry = {};
    entry.grfAccessPermissions = GENERIC_ALL;
    entry.grfAccessMode = GRANT_ACCESS;
    entry.grfInheritance = row.second;
    entry.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    entry.Trustee.ptstrName = static_cast<char*>(everyone);
    PACL acl = nullptr;
    ASSERT_EQ(::SetEntriesInAclA(1, &entry, nullptr, &acl), static_cast<DWORD>(ERROR_SUCCESS));
    EXPECT_EQ(::SetNamedSecurityInfoA(const_cast<char*>(qmtest::StagingFolder().c_str()), SE_FILE_OBJECT,
                                      DACL_SECURITY_INFORMATION, nullptr, nullptr, acl, nullptr),
              static_cast<DWORD>(ERROR_SUCCESS));
    ::LocalFree(acl);
    ::LocalFree(everyone);
    EXPECT_EQ(kx_.Install(1), FrontResult::kStagingFailed);
    EXPECT_EQ(kx_.Uninstall(), FrontResult::kStagingFailed);
    EXPECT_EQ(Calls(), "");
    EXPECT_FALSE(qmtest::FileExists(StagedEngine())) << "nothing is written there";
  }
  qmtest::DeleteTree(qmtest::StagingFolder());
}

class FrontRuntimeTest : public FrontTest {
 protected:
  void SetUp() override {
    runtime_ = qmtest::SystemFolder() + "\\QMTESTRT.DLL";
    ::DeleteFileA(runtime_.c_str());
    FrontTest::SetUp();
  }
  void TearDown() override {
    FrontTest::TearDown();
    ::DeleteFileA(runtime_.c_str());
  }
  std::string runtime_;
};

TEST_F(FrontRuntimeTest, DefaultBuildCarriesNoRuntime) {
  Answer("IsInstall=15");
  ASSERT_EQ(kx_.Install(1), FrontResult::kOk);
  EXPECT_FALSE(qmtest::FileExists(runtime_));
}

TEST_F(FrontRuntimeTest, RuntimeIsWrittenOnlyWhereNoneOfItsNameExists) {
  Load("Inst_kx2_fake_rt.dll");
  Answer("IsInstall=15");
  ASSERT_EQ(kx_.Install(1), FrontResult::kOk);
  EXPECT_EQ(qmtest::ReadFileBytes(runtime_), "test runtime carried by the front\n");

  ASSERT_TRUE(qmtest::WriteFileBytes(runtime_, "newer shared copy"));
  ASSERT_EQ(kx_.Install(1), FrontResult::kOk);
  EXPECT_EQ(qmtest::ReadFileBytes(runtime_), "newer shared copy");
}

TEST_F(FrontTest, PrepareCheckWithoutMarkerAsksTheVersionCheck) {
  EXPECT_EQ(kx_.PrePareCheck(), qm::CheckOsVersion());
  EXPECT_EQ(kx_.PrePareCheck(), FrontResult::kOk);  // the test prefix reports Windows 7
  EXPECT_FALSE(qmtest::FileExists(StagedPackage())) << "the pre-check never stages";
}

TEST_F(FrontTest, MarkerOnNtGives8AndIsDeletedAtTheNextRestart) {
  ASSERT_TRUE(qmtest::WriteFileBytes(qmtest::MarkerPath(), ""));
  EXPECT_EQ(kx_.PrePareCheck(), FrontResult::kRestartPending);
  std::vector<std::string> pending = qmtest::PendingFileRenameOperations();
  EXPECT_NE(std::find(pending.begin(), pending.end(), "\\??\\" + qmtest::MarkerPath()), pending.end());
  EXPECT_TRUE(qmtest::FileExists(qmtest::MarkerPath()));

  qmtest::ProcessResult restart = qmtest::RunProcess("wineboot.exe -r");
  EXPECT_EQ(restart.exit_code, 0u);
  EXPECT_FALSE(qmtest::FileExists(qmtest::MarkerPath()));
}

TEST_F(FrontTest, MarkerOn9xGives8AndStays) {
  ASSERT_TRUE(qmtest::WriteFileBytes(qmtest::MarkerPath(), ""));
  size_t pending_before = qmtest::PendingFileRenameOperations().size();
  qmtest::ProcessResult r = qmtest::RunAsWindowsVersion(qmtest::BinFolder() + "\\kxhost.exe", "win98",
                                                        "--raw --front Inst_kx2_fake.dll precheck");
  EXPECT_EQ(r.exit_as<FrontResult>(), FrontResult::kRestartPending) << r.output;
  EXPECT_EQ(qmtest::PendingFileRenameOperations().size(), pending_before);
  EXPECT_TRUE(qmtest::FileExists(qmtest::MarkerPath()));
}

// kxhost, as a deployment tool runs it: the front's codes become 0, 3010, 1603 and 87.
TEST_F(FrontTest, KxhostExitCodes) {
  struct Row {
    const char* args;
    const char* answers;
    DWORD exit_code;
    const char* says;
  };
  const Row rows[] = {
      {"install 1", "IsInstall:INSTALL=15", 0, "install returned 0: done, no restart needed"},
      {"uninstall", "Finish=12", 3010, "uninstall returned 1: done; a restart is needed to complete it"},
      {"--raw uninstall", "Finish=12", 1, "uninstall returned 1"},
      {"install 1", "Prepare=12", 1603, "install returned 2: the setup engine failed; the setup log says where"},
      {"install 7", "", 87, "install returned 5: the language selector must be 1, 2 or 3"},
      {"precheck", "", 0, "precheck returned 0: the runtime may be installed now"},
      {"install", "", 87, "usage: kxhost"},
      {"install x", "", 87, "usage: kxhost"},
      {"precheck extra", "", 87, "usage: kxhost"},
      {"--bogus precheck", "", 87, "usage: kxhost"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args);
    UnloadStagedEngine();
    Answer(row.answers);
    qmtest::ProcessResult r =
        qmtest::RunProcess("\"" + qmtest::BinFolder() + "\\kxhost.exe\" --front Inst_kx2_fake.dll " + row.args);
    EXPECT_EQ(r.exit_code, row.exit_code) << r.output;
    EXPECT_NE(r.output.find(row.says), std::string::npos) << r.output;
  }
}

struct VersionCase {
  unsigned long platform, major, minor;
  const char* service_pack;
  FrontResult expected;
};

TEST(FrontOsVersion, DecisionTable) {
  const VersionCase rows[] = {
      {0, 3, 10, "", FrontResult::kOsUnsupported},     // Win32s
      {1, 5, 0, "", FrontResult::kOk},                 // 9x family, major other than 4
      {1, 3, 95, "", FrontResult::kOk},
      {1, 4, 0, "", FrontResult::kOsUnsupported},      // Windows 95
      {1, 4, 0, " A", FrontResult::kOsUnsupported},
      {1, 4, 10, " A ", FrontResult::kOk},             // Windows 98 SE
      {1, 4, 10, "", FrontResult::kOsUnsupported},     // Windows 98
      {1, 4, 10, " B", FrontResult::kOsUnsupported},
      {1, 4, 10, "A", FrontResult::kOsUnsupported},    // the letter must be the second character
      {1, 4, 90, "", FrontResult::kOk},                // Windows Me
      {2, 3, 51, "", FrontResult::kOsUnsupported},
      {2, 4, 0, "Service Pack 6", FrontResult::kOsUnsupported},
      {2, 5, 0, "", FrontResult::kOk},
      {2, 5, 1, "", FrontResult::kOk},
      {2, 5, 2, "", FrontResult::kOk},
      {2, 6, 0, "", FrontResult::kOk},
      {2, 6, 1, "Service Pack 1", FrontResult::kOk},
      {2, 6, 3, "", FrontResult::kOk},
      {2, 7, 0, "", FrontResult::kOsUnsupported},
      {2, 10, 0, "", FrontResult::kOsUnsupported},
      {3, 5, 1, "", FrontResult::kOsUnsupported},      // any other platform
  };
  for (const VersionCase& c : rows) {
    EXPECT_EQ(qm::FrontDecideOsVersion(c.platform, c.major, c.minor, c.service_pack), c.expected)
        << c.platform << " " << c.major << "." << c.minor << " '" << c.service_pack << "'";
  }
}

TEST(FrontOsVersion, WhatWineReportsPerVersion) {
  const std::pair<const char*, FrontResult> rows[] = {
      {"win95", FrontResult::kOsUnsupported}, {"win98", FrontResult::kOk}, {"winme", FrontResult::kOk},
      {"nt40", FrontResult::kOsUnsupported},  {"win2k", FrontResult::kOk}, {"winxp", FrontResult::kOk},
      {"vista", FrontResult::kOk},            {"win7", FrontResult::kOk}};
  for (const auto& row : rows) {
    qmtest::ProcessResult r = qmtest::RunAsWindowsVersion(qmtest::BinFolder() + "\\kxhost.exe", row.first,
                                                          "--raw --front Inst_kx2_fake.dll precheck");
    EXPECT_EQ(r.exit_as<FrontResult>(), row.second) << row.first << ": " << r.output;
  }
}

}  // namespace

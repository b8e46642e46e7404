// Helpers for the fault and long-run tests: the shipped runtime installed for real (front, engine,
// daemons as services), packages derived from the shipped one, hosts run as child processes, a
// restart, and a picture of everything of ours that is left on the machine.
#ifndef QM_TESTS_FAULTS_FAULT_SUPPORT_H_
#define QM_TESTS_FAULTS_FAULT_SUPPORT_H_

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "tests/win/engine_fixture.h"
#include "tests/win/test_support.h"

namespace qmfault {

using Lines = std::vector<std::string>;

constexpr char kShippedProduct[] = "6F1C2E4A-3B7D-4C59-9E21-0A8B7D6C5E41_KX2TOKENMINI";
constexpr char kSecondProduct[] = "6F1C2E4A-3B7D-4C59-9E21-0A8B7D6C5E42_KX2TOKENPLUS";
constexpr char kCspKey[] = "SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider\\QM KX2 Token CSP";
constexpr char kSlotService[] = "qmSlotD";
constexpr char kCertService[] = "qmCertD";
constexpr char kSmartCardService[] = "SCardSvr";
constexpr DWORD kHostTimeoutMs = 180000;

// --- Places -------------------------------------------------------------------------------------

// Every file below |folder| as "<path relative to it> <describe(path, data)>".
using FileDescriber = std::string (*)(const std::string& path, const WIN32_FIND_DATAA& data);
std::string FileSize(const std::string& path, const WIN32_FIND_DATAA& data);
void WalkFiles(const std::string& folder, Lines* out, FileDescriber describe = FileSize);

// ProgramFilesDir as the engine reads it (the 32-bit view of ...\CurrentVersion).
std::string ProgramFilesFolder();
// Sets it; the value the tests found first is restored by RestoreProgramFilesFolder.
void SetProgramFilesFolder(const std::string& folder);
void RestoreProgramFilesFolder();
std::string ProductFolder();  // ProgramFilesFolder() + "\qmsrv"
// The five files the script puts in the system folder.
const Lines& SystemFileNames();
// The script's [copy] chapter in order, after expansion: 21 targets below the product folder, 5 in
// the system folder, each with the package path of its source.
struct CopyPair {
  std::string package_path;
  std::string target;
};
std::vector<CopyPair> CopyPairs();
std::string UnpackFolder();  // the front's: staging folder + "\KX2"
// |path| as a pending rename names it: below SysWOW64 for a path below the system folder when
// this 32-bit process runs on 64-bit Windows (the restart works in the native view).
std::string RestartPathOf(const std::string& path);

// --- Packages -----------------------------------------------------------------------------------

qmtest::PackageFiles ReadPackage(const std::string& path);
// The package the front carries (bin\KX2.dat).
const qmtest::PackageFiles& ShippedPackage();
// The payload file of |package| at |path| ("qmslotd.exe", "slotmon\hidmon.dll"); empty if none.
std::string PackageFile(const qmtest::PackageFiles& package, const std::string& path);
// Sets VAR {NAME} "value" in the package's script; false when the script has no such line.
bool SetScriptVariable(qmtest::PackageFiles* package, const std::string& name, const std::string& value);
// Raises the revision field of the file version in an image's VS_FIXEDFILEINFO by |step|.
bool BumpFileVersion(std::string* image, unsigned step);
// The runtime programs and libraries the daemons run or load (not the signed CSP files).
const Lines& RuntimeImages();
// The shipped package as a second product of the same maker (|guid|), its runtime images made
// newer by |bump| revisions when |bump| is not 0 and |grow| bytes longer (data after the image's
// last section, which the loader does not read).
qmtest::PackageFiles SecondProductPackage(const std::string& guid, unsigned bump, size_t grow = 0);

// --- Hosts --------------------------------------------------------------------------------------

// A scratch folder holding a copy of the engine, for the one-call interface; packages are written
// beside it.
struct EngineFolder {
  std::string folder;
  std::string engine;  // folder + "\QMSetup.dll"
};
EngineFolder MakeEngineFolder(const std::string& name);
// Writes |package| beside the engine as |file|.
void WritePackageBeside(const EngineFolder& engine, const std::string& file, const qmtest::PackageFiles& package);

// kxhost.exe (or its copy for |windows_version| when that is not empty) with --raw, so the exit
// code is the called function's own result.
qmtest::ProcessResult Kxhost(const std::string& args, const std::string& windows_version = "");
// Started without waiting; output goes nowhere.
qm::ScopedHandle StartKxhost(const std::string& args, const std::string& windows_version = "");
// The front: kxhost install 3 / uninstall.
qm::FrontResult FrontInstall(const std::string& windows_version = "");
qm::FrontResult FrontUninstall(const std::string& windows_version = "");
// The one-call interface on |package| beside the engine copy.
int OneCallInstall(const EngineFolder& engine, const std::string& package, const std::string& windows_version = "");
int OneCallUninstall(const EngineFolder& engine, const std::string& package, const std::string& windows_version = "");
// Tells Wine to report |version| to every process of that file name ("" removes the setting).
void SetProgramWindowsVersion(const std::string& exe_name, const std::string& version);

// --- Services, processes, restart ---------------------------------------------------------------

using qmtest::ServiceState;
bool StopService(const char* name);    // true once stopped (or not installed)
// StartService and wait for RUNNING; the Win32 error, or 0.
DWORD StartServiceAndWait(const char* name);
void DeleteService(const char* name);
// Process ids of running programs whose image name is |exe| (without regard to case).
std::vector<DWORD> ProcessesNamed(const std::string& exe);
// Waits until no process of that name runs; false after |timeout_ms|.
bool WaitNoProcess(const std::string& exe, DWORD timeout_ms);

// A stand-in smart-card service (SCardSvr) for the slot daemon's dependency: registered only when
// the system has none, removed again by the destructor.
class SmartCardStandIn {
 public:
  SmartCardStandIn();
  ~SmartCardStandIn();
  bool registered() const { return registered_; }

 private:
  bool registered_ = false;
};

// What the system does for our services when it starts again: the slot daemon, then the
// certificate daemon, each where it is installed (both start automatically). When the slot daemon
// does not start for its dependency on the smart-card service, a stand-in SCardSvr is registered
// (kept until CleanEverything) and it is started once more; QM_FAULTS_STANDIN=1 registers the
// stand-in first.
struct BootOutcome {
  std::string depends_on;   // the slot daemon's DependOnService, NULs shown as "|"
  DWORD slot_error = 0;     // of the first start; 0 when it ran
  DWORD cert_error = 0;
  bool standin = false;     // the stand-in was registered
  DWORD slot_retry_error = 0;  // the start with the stand-in
};
BootOutcome StartServicesAsBootWould();
std::string Describe(const BootOutcome& boot);

// What a shutdown and the next start do to our work: the daemons are stopped (as the system stops
// services), then wineboot -r does the pending renames and deletions, WININIT.INI and RunOnce.
// Returns wineboot's exit code.
DWORD Restart();

// --- What is left -------------------------------------------------------------------------------

struct Snapshot {
  Lines product_files;  // below the product folder, relative, "name size"; the daemons' log\ too
  bool product_folder = false;
  Lines system_files;  // of the five, and any .OLD of them
  Lines old_files;     // every "*.OLD" below the product folder or of the system files
  Lines registry;      // Software\QMSrv, one line per value
  Lines hid;           // Software\QMHid
  bool csp = false;
  Lines services;  // "qmSlotD RUNNING"
  Lines processes; // "qmslotd.exe 2" when running
  Lines pending;   // PendingFileRenameOperations, "from -> to" ("" for a deletion)
  bool marker = false;
  Lines staging;   // files directly in the staging folder, and "KX2\" when the unpack folder is there
  std::string removed_ini;  // <Windows>\Temp\_REMOVED.INI
  std::string run_once;     // HKLM RunOnce "removed"
  std::string wininit;      // <Windows>\WININIT.INI
  bool dirnul = false;      // <Windows>\DIRNUL (Wine's handling of a WININIT DIRNUL= entry)
};
Snapshot TakeSnapshot();
// Multi-line text, one "what: detail" per line; sections with nothing in them are left out.
std::string Describe(const Snapshot& s, bool with_staging = true);
// Nothing of ours is installed, recorded, running or pending (the staging folder not looked at).
bool NothingOfOurs(const Snapshot& s);
// The same with the reason in words.
std::string WhatIsLeft(const Snapshot& s);

// Removes everything of ours: services (stopped first), daemon processes, records, files, the
// staging folder, the restart marker, the 9x lists, the RunOnce value, the Windows-version
// settings of our programs, then restarts to drop whatever is still pending.
void CleanEverything();

// The engine log's line count.
size_t LogLineCount();

// Prints a line of the report (tagged so that it can be picked out of the test output).
void Report(const std::string& text);

// A fault test starts from nothing of ours and must leave nothing behind.
class CleanSlateTest : public ::testing::Test {
 protected:
  void SetUp() override { CleanEverything(); }
  void TearDown() override {
    CleanEverything();
    EXPECT_EQ(WhatIsLeft(TakeSnapshot()), "");
  }
};

}  // namespace qmfault

#endif  // QM_TESTS_FAULTS_FAULT_SUPPORT_H_

// Helpers for the Windows-side tests: files, child processes, Wine's per-program Windows version.
#ifndef QM_TESTS_WIN_TEST_SUPPORT_H_
#define QM_TESTS_WIN_TEST_SUPPORT_H_

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "qmsetup/exports.h"
#include "qmsetup/results.h"
#include "tests/result_printer.h"

namespace qmtest {

std::string BinFolder();  // the running executable's folder, no trailing "\"
std::string WindowsFolder();
std::string SystemFolder();
std::string TempPath();  // GetTempPathA, with its trailing "\"
std::string StagingFolder();
std::string MarkerPath();  // <Windows>\Temp\InstallReboot
std::string EngineLogPath();  // <Windows>\Temp\_!QMSetup_.log

// QueryServiceStatus: the state, 0 when the service does not exist.
DWORD ServiceState(const char* name);

// |text| cut at every |separator|; a trailing separator gives no empty last item.
std::vector<std::string> Split(const std::string& text, const std::string& separator);

bool FileExists(const std::string& path);
// Calls |visit| for every file and folder below |folder|, depth first, with the path relative to
// |folder| (prefixed with |relative|), the full path and its find data.
using TreeVisitor =
    std::function<void(const std::string& relative, const std::string& path, const WIN32_FIND_DATAA& data)>;
void WalkTree(const std::string& folder, const TreeVisitor& visit, const std::string& relative = "");
// Every entry below |folder|, relative ("sub\\f.txt"), sorted; folders too when |with_folders|.
std::vector<std::string> ListTree(const std::string& folder, bool with_folders);
std::string ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
void DeleteTree(const std::string& path);
// A fresh empty scratch folder below the user's Temp folder.
std::string MakeScratchFolder(const std::string& name);

// The process's current folder is |folder| for the helper's lifetime.
class CurrentFolder {
 public:
  explicit CurrentFolder(const std::string& folder);
  ~CurrentFolder();
  CurrentFolder(const CurrentFolder&) = delete;
  CurrentFolder& operator=(const CurrentFolder&) = delete;

 private:
  char previous_[MAX_PATH] = {};
};

struct ProcessResult {
  DWORD exit_code = 0xFFFFFFFF;
  std::string output;  // standard output, CR LF turned into LF
  // The exit code as the typed result it stands for.
  template <typename Result>
  Result exit_as() const {
    return static_cast<Result>(exit_code);
  }
};
ProcessResult RunProcess(const std::string& command_line, DWORD timeout_ms = 60000);

// Copies |exe| to "<exe stem>_<version>.exe" beside it and tells Wine to report |version| (win98,
// win2k, winxp, vista, win7, ...) to programs of that name; returns the copy's path.
std::string WindowsVersionCopy(const std::string& exe, const std::string& version);
// Runs such a copy with |args|.
ProcessResult RunAsWindowsVersion(const std::string& exe, const std::string& version, const std::string& args);

// HKLM\...\Session Manager PendingFileRenameOperations, one string per item, in pairs of source
// and target ("" for a deletion); empty when absent.
std::vector<std::string> PendingFileRenameOperations();

// Runs hold.exe, which keeps |path| in use until the holder is destroyed: open with no sharing
// (mode ""), open for reading with others allowed to read ("read"), or loaded as an image ("load").
class FileHolder {
 public:
  explicit FileHolder(const std::string& path, const std::string& mode = "");
  ~FileHolder();
  bool holding() const { return holding_; }

 private:
  qm::ScopedHandle process_;
  bool holding_ = false;
};

// Every value below HKLM\|path|, one line each, sorted: "sub\key|name=TYPE:data" with DWORDs in
// decimal, strings quoted without a terminating NUL, other NULs shown as "\0". Empty when the key
// is missing; keys without values appear as "sub\key|".
std::vector<std::string> RegistryTree(const std::string& path);
bool RegistryKeyExists(const std::string& path);

// This process's committed private memory and open handles, for tests that show nothing grows.
struct ProcessCounters {
  size_t private_bytes = 0;
  DWORD handles = 0;
};
ProcessCounters ReadProcessCounters();

// Names of the exports of a loaded module, in export-table order, and their ordinals.
struct ExportEntry {
  std::string name;
  WORD ordinal;
};
std::vector<ExportEntry> ModuleExports(HMODULE module);

// A front DLL's three exports, each answering the FrontResult its int stands for.
struct FrontExports {
  // False when |front| lacks one of them.
  bool Bind(HMODULE front);
  qm::FrontResult PrePareCheck() const { return static_cast<qm::FrontResult>(precheck()); }
  qm::FrontResult Install(int selector) const { return static_cast<qm::FrontResult>(install(0, selector)); }
  qm::FrontResult Uninstall() const { return static_cast<qm::FrontResult>(uninstall()); }

  qmsetup::FrontNoArgFn precheck = nullptr;
  qmsetup::FrontInstallFn install = nullptr;
  qmsetup::FrontNoArgFn uninstall = nullptr;
};

}  // namespace qmtest

#endif  // QM_TESTS_WIN_TEST_SUPPORT_H_

// The one-call interface: install, remove or inspect the product in one call each, with the
// sequence of chapters taken from the script's action lists "ACTLIST" and "UN.ACTLIST".
#include <windows.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cstring>

#include "base/result.h"
#include "base/win/reg_key.h"
#include "engine/api/entry_points.h"
#include "engine/core/engine_state.h"
#include "engine/log/log_text.h"
#include "engine/log/setup_log.h"
#include "engine/ops/product_record.h"
#include "engine/ops/ref_count.h"
#include "engine/script/paths.h"
#include "engine/script/variables.h"
#include "qmsetup/names.h"
#include "qmsetup/results.h"

namespace qm {
namespace {

// A failing listed chapter's result, by the text of its line, when the run stops there.
MiddlewareResult MiddlewareStepResult(const std::string& line) {
  static const struct {
    const char* chapter;
    MiddlewareResult result;
  } kTable[] = {
      {"FILES", MiddlewareResult::kFilesFailed},         {"copy", MiddlewareResult::kCopyFailed},
      {"start_Daemon", MiddlewareResult::kStartFailed},  {"start_certd", MiddlewareResult::kStartFailed},
      {"RegCSP", MiddlewareResult::kRegisterFailed},     {"UnRegCSP", MiddlewareResult::kRegisterFailed},
      {"remove_Daemon", MiddlewareResult::kRemoveFailed}, {"remove_certd", MiddlewareResult::kRemoveFailed},
      {"delete", MiddlewareResult::kDeleteFailed},       {"Install_Driver", MiddlewareResult::kDriverFailed},
      {"UnInstall_Driver", MiddlewareResult::kDriverFailed},
  };
  for (const auto& row : kTable)
    if (line == row.chapter) return row.result;
  return MiddlewareResult::kFailed;
}

// The given name, or the engine's own file name cut before its first "." followed by ".dat".
bool MiddlewarePackageName(const std::string& given, std::string* out) {
  if (given.size() >= kPathBufferSize) {
    WriteLogLine(log_text::PackageNameTooLong(given));
    return false;
  }
  if (!given.empty()) {
    *out = given;
    return true;
  }
  char path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameA(EngineGetState().engine_module, path, MAX_PATH);
  std::string name(path, n < MAX_PATH ? n : 0);
  name = name.substr(name.find_last_of('\\') + 1);
  *out = name.substr(0, name.find('.')) + ".dat";
  return true;
}

struct ActionRun {
  const char* mode;     // for IsInstall
  const char* list;     // the action list chapter
  bool install;
};

MiddlewareResult MiddlewareRun(const ActionRun& run, const std::string& given) {
  std::string package;
  if (!MiddlewarePackageName(given, &package)) return MiddlewareResult::kFailed;
  EngineResult r = EnginePrepare(package);
  if (r == EngineResult::kRestartPending) return MiddlewareResult::kRestartPending;
  if (r != EngineResult::kOk) return MiddlewareResult::kFailed;
  EngineState& state = EngineGetState();
  if (EngineSetInstDir(state.program_files_folder + "\\qmsrv") != EngineResult::kOk) return MiddlewareResult::kFailed;
  // Only "already installed" stops an install; every other answer (kVariableUndefined included)
  // goes on, and a removal goes on whatever it hears.
  r = EngineIsInstall(run.mode);
  if (run.install && r == EngineResult::kAlreadyInstalled) return MiddlewareResult::kAlreadyInstalled;
  const Chapter* found = ScriptFindChapter(state.script, run.list);
  if (!found) {
    WriteLogLine(log_text::ActionListMissing(run.list));
    return MiddlewareResult::kFailed;
  }
  const ChapterLines lines = found->lines;  // the header line comes first; DoStep passes over it
  for (const std::string& line : lines) {
    r = EngineDoStep(line);
    const int stop = run.install ? state.effects.install_error_stop : state.effects.uninstall_error_stop;
    if (r != EngineResult::kOk && stop == 1) return MiddlewareStepResult(line);
  }
  r = EngineFinish();
  const bool done = r == EngineResult::kOk || r == EngineResult::kDoneRestartNeeded ||
                    (!run.install && r == EngineResult::kNotInstalled);
  return done ? MiddlewareResult::kOk : MiddlewareResult::kFinishFailed;
}

}  // namespace

MiddlewareResult MiddlewareInstall(const std::string& package_name) {
  return MiddlewareRun({"INSTALL", "ACTLIST", true}, package_name);
}

MiddlewareResult MiddlewareUninstall(const std::string& package_name) {
  return MiddlewareRun({"UNINSTALL", "UN.ACTLIST", false}, package_name);
}

InstalledResult MiddlewareIsHaveInstalled(const std::string& given) {
  std::string package;
  if (!MiddlewarePackageName(given, &package)) return InstalledResult::kVariableUndefined;
  EnginePrepare(package);  // the lookups below work on whatever script is loaded
  const VariableTable& variables = EngineGetState().variables;
  std::string product;
  if (VariablesLookUp(variables, "{PRODUCT_GUID}", &product) != EngineResult::kOk)
    return InstalledResult::kVariableUndefined;
  if (product.empty()) return InstalledResult::kNotInstalled;
  WriteLogLine(log_text::kProductVersionBegin);
  {
    RegKey family;
    if (family.Open(HKEY_LOCAL_MACHINE, kFamilyKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return InstalledResult::kNotInstalled;
    RegKey products;
    DWORD count = 0;
    if (products.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return InstalledResult::kNotInstalled;
    if (products.ReadCount(product.c_str(), &count) != RegCount::kPresent) {
      WriteLogLine(log_text::kProductVersionEnd);
      return InstalledResult::kNotInstalled;
    }
  }
  WriteLogLine(log_text::AlreadyInstalled(product));
  std::string recorded;
  {
    RegKey details;
    if (details.Open(HKEY_LOCAL_MACHINE, (std::string(kProductKey) + "\\" + product).c_str(), KEY_ALL_ACCESS) !=
            ERROR_SUCCESS ||
        details.ReadString("PRODUCT_VER", &recorded) != ERROR_SUCCESS)
      return InstalledResult::kPackageNewer;
  }
  std::string packaged;
  if (VariablesLookUp(variables, "{PRODUCT_VER}", &packaged) != EngineResult::kOk || packaged.empty())
    return InstalledResult::kRecordedNewer;
  // As atof reads them: the leading decimal number, "2.5" and "2.50" alike.
  const double package_version = std::atof(packaged.c_str());
  const double recorded_version = std::atof(recorded.c_str());
  if (package_version > recorded_version) return InstalledResult::kPackageNewer;
  if (package_version == recorded_version) return InstalledResult::kSameVersion;
  return InstalledResult::kRecordedNewer;
}

bool MiddlewareIsNeedReboot() {
  char marker[MAX_PATH] = {};
  UINT n = ::GetWindowsDirectoryA(marker, MAX_PATH);
  if (n == 0 || n + sizeof(qmsetup::kRestartMarkerBelowWindows) > MAX_PATH) return false;
  std::memcpy(marker + n, qmsetup::kRestartMarkerBelowWindows, sizeof(qmsetup::kRestartMarkerBelowWindows));
  return ::PathFileExistsA(marker) != FALSE;
}

}  // namespace qm

#include "engine/api/entry_points.h"

#include <windows.h>
#include <shlwapi.h>

#include "base/ascii.h"
#include "base/win/reg_key.h"
#include "engine/api/engine_state.h"
#include "engine/commands/dispatcher.h"
#include "engine/log/setup_log.h"
#include "engine/package/package_reader.h"
#include "qmsetup/names.h"
#include "qmsetup/results.h"

namespace qm {
namespace {

// A folder from the system into |out|; false (after a log line) when it does not fit 260 characters.
template <typename Query>
bool EngineSystemFolder(const char* what, Query query, std::string* out) {
  char buffer[MAX_PATH] = {};
  UINT n = query(buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    WriteLogLine(std::string("Prepare cannot get the ") + what + " folder within 260 characters.");
    return false;
  }
  *out = buffer;
  return true;
}

bool EngineIsDriverChapter(const std::string& name, const char* driver) { return AsciiEqualIgnoringCase(name, driver); }

// Steps of Prepare before the package is unpacked: folders and the unpack folder.
int EnginePrepareFolders(EngineState& state, const std::string& package_name) {
  if (!EngineSystemFolder("system", ::GetSystemDirectoryA, &state.system_folder)) return engine_code::kInvalidArgument;
  {
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", KEY_QUERY_VALUE) != ERROR_SUCCESS)
      return engine_code::kNoVersionKey;
    std::string program_files;
    if (key.ReadString("ProgramFilesDir", &program_files) == ERROR_SUCCESS) {  // missing: stays empty
      if (!PathFits(program_files, "ProgramFilesDir")) return engine_code::kInvalidArgument;
      state.program_files_folder = program_files;
    }
  }
  if (!EngineSystemFolder("Windows", ::GetWindowsDirectoryA, &state.windows_folder)) return engine_code::kInvalidArgument;
  state.windows_temp_folder = state.windows_folder + qmsetup::kWindowsTempFolder;

  char module_path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameA(state.engine_module, module_path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    WriteLogLine("Prepare cannot get the engine folder within 260 characters.");
    return engine_code::kInvalidArgument;
  }
  const std::string engine_path(module_path, n);
  const size_t slash = engine_path.find_last_of('\\');
  state.engine_folder = engine_path.substr(0, slash == std::string::npos ? 0 : slash);

  size_t dot = package_name.rfind('.');
  if (dot == std::string::npos) {
    WriteLogLine("Package name " + package_name + " has no \".\"; no folder to unpack it into.");
    return engine_code::kUnpackFailed;
  }
  state.unpack_folder = state.engine_folder + "\\" + package_name.substr(0, dot);
  if (!PathFits(state.unpack_folder, "Unpack folder") || !PathFits(state.engine_folder + "\\" + package_name, "Package path"))
    return engine_code::kInvalidArgument;
  return engine_code::kOk;
}

int EnginePrepareSteps(EngineState& state, const std::string& package_name) {
  state.install_error_stop = 1;
  state.uninstall_error_stop = 0;
  WriteLogLine("====>Begin to Prepare:");
  for (std::string* folder : {&state.system_folder, &state.program_files_folder, &state.windows_folder,
                              &state.windows_temp_folder, &state.install_folder, &state.engine_folder, &state.unpack_folder})
    folder->clear();
  state.restart_needed = 0;
  state.language_id = ::GetUserDefaultLangID();

  int r = EnginePrepareFolders(state, package_name);
  if (r != engine_code::kOk) return r;

  WriteLogLine("Decompressing files...");
  const std::string package_path = state.engine_folder + "\\" + package_name;
  WriteLogLine("Decompressing files form " + package_path + " to " + state.unpack_folder);
  if (PackageUnpack(package_path, state.unpack_folder.c_str()) != UnpackResult::kOk) return engine_code::kUnpackFailed;
  WriteLogLine("Decompressing files OK");
  WriteLogLine("Check INI file...");

  r = ScriptLoad(state.unpack_folder, &state.script);
  if (r != engine_code::kOk) return r;
  r = RunChapter("FILES");
  if (r != engine_code::kOk) return r;
  VariablesDefine(state.variables, "{PF}", state.program_files_folder);
  VariablesDefine(state.variables, "{TMP}", state.unpack_folder);
  VariablesDefine(state.variables, "{SYSDIR}", state.system_folder);
  r = RunChapter("COMMON");
  if (r != engine_code::kOk) return r;
  WriteLogLine("Check INI file OK.");
  WriteLogLine("Check system states...");

  if (::PathFileExistsA((state.windows_temp_folder + "\\" + qmsetup::kRestartMarkerName).c_str())) {
    WriteLogLine("System need reboot.");
    return engine_code::kRestartPending;
  }
  WriteLogLine("System states OK.");
  WriteLogLine("<====Ending to Prepare:");
  return engine_code::kOk;
}

}  // namespace

int EnginePrepare(const std::string& package_name) {
  EngineState& state = EngineGetState();
  if (state.instance_busy) return engine_code::kEngineBusy;  // another process has the engine; nothing logged
  return EnginePrepareSteps(state, package_name);
}

int EngineSetInstDir(const std::string& folder) {
  WriteLogLine("====>Begin to SetInstDir:");
  if (folder.empty()) {
    WriteLogLine("SetInstDir Data invalid");
    return engine_code::kInvalidArgument;
  }
  if (!PathFits(folder, "SetInstDir folder")) return engine_code::kInvalidArgument;
  EngineState& state = EngineGetState();
  state.install_folder = folder;
  WriteLogLine("SetInstDir is " + folder);
  VariablesDefine(state.variables, "{INSTDIR}", folder + "\\");  // only the first one takes effect
  WriteLogLine("<====Ending to SetInstDir:");
  return engine_code::kOk;
}

int EngineSetLangID(const std::string& language) {
  WriteLogLine("====>Begin to SetLangID:");
  if (language.empty()) {
    WriteLogLine("SetLangID Data invalid");
    return engine_code::kInvalidArgument;
  }
  uint32_t value = 0;  // leading digits only; wraps rather than overflows
  for (size_t i = 0; i < language.size() && language[i] >= '0' && language[i] <= '9'; ++i)
    value = value * 10 + static_cast<uint32_t>(language[i] - '0');
  EngineGetState().language_id = static_cast<int>(value);
  WriteLogLine("SetLangID is: " + language);
  WriteLogLine("<====Ending to SetLangID.");
  return engine_code::kOk;
}

int EngineDoStep(const std::string& chapter) {
  WriteLogLine("====>Begin to DoStep:");
  WriteLogLine("DoStep OneChapter is " + chapter);
  if (chapter == "[ACTLIST]" || chapter == "[UN.ACTLIST]") return engine_code::kOk;
  int r = RunChapter(chapter);
  if (r == engine_code::kOk) {
    WriteLogLine("<====Ending to DoStep:");
    return engine_code::kOk;
  }
  // A driver chapter's library reports "done, restart needed" with 1.
  for (const char* driver : {"Install_Driver", "UnInstall_Driver"}) {
    if (r == engine_code::kRestartRequired && EngineIsDriverChapter(chapter, driver)) {
      EngineGetState().restart_needed = 1;
      WriteLogLine(std::string(driver) + " Need Reboot system.");
      WriteLogLine("<====Ending to DoStep:");
      return engine_code::kOk;
    }
  }
  WriteLogLine("Return Err:" + LogHex8(static_cast<unsigned long>(r)));
  return r;
}

}  // namespace qm

#include "engine/api/entry_points.h"

#include <windows.h>
#include <shlwapi.h>

#include "base/ascii.h"
#include "base/result.h"
#include "base/win/reg_key.h"
#include "engine/api/win32_system.h"
#include "engine/commands/dispatcher.h"
#include "engine/core/engine_state.h"
#include "engine/log/log_text.h"
#include "engine/log/setup_log.h"
#include "engine/package/package_reader.h"
#include "engine/script/paths.h"
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
    WriteLogLine(log_text::SystemFolderTooLong(what));
    return false;
  }
  *out = buffer;
  return true;
}

bool EngineIsDriverChapter(const std::string& name, const char* driver) { return AsciiEqualIgnoringCase(name, driver); }

// Steps of Prepare before the package is unpacked: folders and the unpack folder.
EngineResult EnginePrepareFolders(EngineState& state, const std::string& package_name) {
  if (!EngineSystemFolder("system", ::GetSystemDirectoryA, &state.system_folder)) return EngineResult::kInvalidArgument;
  {
    RegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", KEY_QUERY_VALUE) != ERROR_SUCCESS)
      return EngineResult::kNoVersionKey;
    std::string program_files;
    if (key.ReadString("ProgramFilesDir", &program_files) == ERROR_SUCCESS) {  // missing: stays empty
      if (!PathFits(program_files, "ProgramFilesDir")) return EngineResult::kInvalidArgument;
      state.program_files_folder = program_files;
    }
  }
  if (!EngineSystemFolder("Windows", ::GetWindowsDirectoryA, &state.windows_folder)) return EngineResult::kInvalidArgument;
  state.windows_temp_folder = state.windows_folder + qmsetup::kWindowsTempFolder;

  char module_path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameA(state.engine_module, module_path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) {
    WriteLogLine(log_text::kEngineFolderTooLong);
    return EngineResult::kInvalidArgument;
  }
  const std::string engine_path(module_path, n);
  const size_t slash = engine_path.find_last_of('\\');
  state.engine_folder = engine_path.substr(0, slash == std::string::npos ? 0 : slash);

  size_t dot = package_name.rfind('.');
  if (dot == std::string::npos) {
    WriteLogLine(log_text::PackageNameWithoutDot(package_name));
    return EngineResult::kUnpackFailed;
  }
  state.unpack_folder = state.engine_folder + "\\" + package_name.substr(0, dot);
  if (!PathFits(state.unpack_folder, "Unpack folder") || !PathFits(state.engine_folder + "\\" + package_name, "Package path"))
    return EngineResult::kInvalidArgument;
  return EngineResult::kOk;
}

EngineResult EnginePrepareSteps(EngineState& state, const std::string& package_name) {
  state.effects.install_error_stop = 1;
  state.effects.uninstall_error_stop = 0;
  WriteLogLine(log_text::kPrepareBegin);
  for (std::string* folder : {&state.system_folder, &state.program_files_folder, &state.windows_folder,
                              &state.windows_temp_folder, &state.install_folder, &state.engine_folder, &state.unpack_folder})
    folder->clear();
  state.effects.restart_needed = 0;
  state.language_id = ::GetUserDefaultLangID();

  QM_RETURN_IF_FAILED(EnginePrepareFolders(state, package_name));

  WriteLogLine(log_text::kDecompressing);
  const std::string package_path = state.engine_folder + "\\" + package_name;
  WriteLogLine(log_text::DecompressingFrom(package_path, state.unpack_folder));
  if (PackageUnpack(package_path, state.unpack_folder.c_str()) != UnpackResult::kOk) return EngineResult::kUnpackFailed;
  WriteLogLine(log_text::kDecompressed);
  WriteLogLine(log_text::kCheckingScript);

  Win32System system(state);
  QM_RETURN_IF_FAILED(ScriptLoad(state.unpack_folder, &state.script));
  QM_RETURN_IF_FAILED(RunChapter(state.script, ChapterContext(state, system), "FILES"));
  VariablesDefine(state.variables, "{PF}", state.program_files_folder);
  VariablesDefine(state.variables, "{TMP}", state.unpack_folder);
  VariablesDefine(state.variables, "{SYSDIR}", state.system_folder);
  QM_RETURN_IF_FAILED(RunChapter(state.script, ChapterContext(state, system), "COMMON"));
  WriteLogLine(log_text::kScriptChecked);
  WriteLogLine(log_text::kCheckingSystem);

  if (::PathFileExistsA((state.windows_temp_folder + "\\" + qmsetup::kRestartMarkerName).c_str())) {
    WriteLogLine(log_text::kSystemNeedsRestart);
    return EngineResult::kRestartPending;
  }
  WriteLogLine(log_text::kSystemChecked);
  WriteLogLine(log_text::kPrepareEnd);
  return EngineResult::kOk;
}

}  // namespace

EngineResult EnginePrepare(const std::string& package_name) {
  EngineState& state = EngineGetState();
  if (state.instance_busy) return EngineResult::kEngineBusy;  // another process has the engine; nothing logged
  return EnginePrepareSteps(state, package_name);
}

EngineResult EngineSetInstDir(const std::string& folder) {
  WriteLogLine(log_text::kSetInstDirBegin);
  if (folder.empty()) {
    WriteLogLine(log_text::kSetInstDirInvalid);
    return EngineResult::kInvalidArgument;
  }
  if (!PathFits(folder, "SetInstDir folder")) return EngineResult::kInvalidArgument;
  EngineState& state = EngineGetState();
  state.install_folder = folder;
  WriteLogLine(log_text::SetInstDirIs(folder));
  VariablesDefine(state.variables, "{INSTDIR}", folder + "\\");  // only the first one takes effect
  WriteLogLine(log_text::kSetInstDirEnd);
  return EngineResult::kOk;
}

EngineResult EngineSetLangID(const std::string& language) {
  WriteLogLine(log_text::kSetLangIdBegin);
  if (language.empty()) {
    WriteLogLine(log_text::kSetLangIdInvalid);
    return EngineResult::kInvalidArgument;
  }
  uint32_t value = 0;  // leading digits only; wraps rather than overflows
  for (size_t i = 0; i < language.size() && language[i] >= '0' && language[i] <= '9'; ++i)
    value = value * 10 + static_cast<uint32_t>(language[i] - '0');
  EngineGetState().language_id = static_cast<int>(value);
  WriteLogLine(log_text::SetLangIdIs(language));
  WriteLogLine(log_text::kSetLangIdEnd);
  return EngineResult::kOk;
}

EngineResult EngineDoStep(const std::string& chapter) {
  WriteLogLine(log_text::kDoStepBegin);
  WriteLogLine(log_text::DoStepChapter(chapter));
  if (chapter == "[ACTLIST]" || chapter == "[UN.ACTLIST]") return EngineResult::kOk;
  EngineState& state = EngineGetState();
  Win32System system(state);
  const EngineResult r = RunChapter(state.script, ChapterContext(state, system), chapter);
  if (r == EngineResult::kOk) {
    WriteLogLine(log_text::kDoStepEnd);
    return EngineResult::kOk;
  }
  // A driver chapter's library reports "done, restart needed" with 1.
  for (const char* driver : {"Install_Driver", "UnInstall_Driver"}) {
    if (r == EngineResult::kRestartRequired && EngineIsDriverChapter(chapter, driver)) {
      state.effects.restart_needed = 1;
      WriteLogLine(log_text::DriverNeedsRestart(driver));
      WriteLogLine(log_text::kDoStepEnd);
      return EngineResult::kOk;
    }
  }
  WriteLogLine(log_text::ChapterFailed(LogHex8(static_cast<unsigned long>(ToInt(r)))));
  return r;
}

}  // namespace qm

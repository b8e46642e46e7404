// The three exports a host setup program calls. The chapter sequences and the mapping of engine
// answers to host codes are fixed here, not taken from the script.
#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <initializer_list>

#include "front/front_state.h"
#include "front/os_version.h"
#include "front/staging.h"
#include "qmsetup/names.h"
#include "qmsetup/results.h"

namespace qm {
namespace {

constexpr DWORD kPauseBeforeCertDaemonMs = 3000;
constexpr LANGID kLangChineseSimplified = 2052;

// Language text handed to SetLangID; null for an unknown selector.
const char* FrontLanguageForSelector(int selector) {
  switch (selector) {
    case 1:
      return "2052";
    case 2:
      return "1033";
    case 3:
      return ::GetUserDefaultLangID() == kLangChineseSimplified ? "4444" : "1028";
    default:
      return nullptr;
  }
}

// What an engine export answered, as the engine's result.
EngineResult EngineAnswer(int answer) { return static_cast<EngineResult>(answer); }

// Maps Finish's answer; false for anything but "done" and "done, restart needed".
bool FrontFinish(FrontState& state, bool* restart_needed) {
  const EngineResult r = EngineAnswer(state.finish());
  if (r != EngineResult::kOk && r != EngineResult::kDoneRestartNeeded) return false;
  *restart_needed = r == EngineResult::kDoneRestartNeeded;
  return true;
}

int FrontCompleteRun(FrontState& state, bool restart_needed) {
  ::FreeLibrary(state.engine);
  state.engine = nullptr;
  FrontReleaseStagedFiles(state);
  return restart_needed ? front_code::kRestartNeeded : front_code::kOk;
}

int FrontInstall(int selector) {
  int staged = StageAndBindEngine();
  if (staged != front_code::kOk) return staged;
  FrontState& state = FrontGetState();

  const char* language = FrontLanguageForSelector(selector);
  if (!language) return front_code::kBadLanguage;
  char language_buffer[10] = {};
  std::memcpy(language_buffer, language, std::strlen(language));

  if (EngineAnswer(state.prepare(qmsetup::kPackageFileName)) != EngineResult::kOk) return front_code::kEngineFailed;
  const EngineResult mode = EngineAnswer(state.is_install("INSTALL"));
  if (mode == EngineResult::kAlreadyInstalled) return front_code::kOk;
  if (mode != EngineResult::kOk) return front_code::kEngineFailed;
  if (EngineAnswer(state.set_lang_id(language_buffer)) != EngineResult::kOk) return front_code::kEngineFailed;
  for (const char* chapter : {"FILES", "copy"}) {
    if (EngineAnswer(state.do_step(chapter)) != EngineResult::kOk) return front_code::kEngineFailed;
  }
  bool restart_needed = false;
  if (!FrontFinish(state, &restart_needed)) return front_code::kEngineFailed;
  for (const char* chapter : {"SetupHidReg", "start_Daemon", "RegCSP"}) {
    if (EngineAnswer(state.do_step(chapter)) != EngineResult::kOk) return front_code::kEngineFailed;
  }
  ::Sleep(kPauseBeforeCertDaemonMs);  // the slot daemon must be up before the certificate daemon
  if (EngineAnswer(state.do_step("start_certd")) != EngineResult::kOk) return front_code::kEngineFailed;
  return FrontCompleteRun(state, restart_needed);
}

int FrontUninstall() {
  int staged = StageAndBindEngine();
  if (staged != front_code::kOk) return staged;
  FrontState& state = FrontGetState();

  if (EngineAnswer(state.prepare(qmsetup::kPackageFileName)) != EngineResult::kOk) return front_code::kEngineFailed;
  const EngineResult mode = EngineAnswer(state.is_install("UNINSTALL"));
  if (mode == EngineResult::kNotInstalled) return front_code::kOk;
  if (mode != EngineResult::kOk) return front_code::kEngineFailed;
  // A missing file must not stop a removal half-way: 4 counts as done.
  for (const char* chapter : {"remove_certd", "remove_Daemon", "UnRegCSP", "delete", "UnSetupHidReg"}) {
    const EngineResult r = EngineAnswer(state.do_step(chapter));
    if (r != EngineResult::kOk && r != EngineResult::kFileMissing) return front_code::kEngineFailed;
  }
  bool restart_needed = false;
  if (!FrontFinish(state, &restart_needed)) return front_code::kEngineFailed;
  return FrontCompleteRun(state, restart_needed);
}

int FrontPrepareCheck() {
  char marker[MAX_PATH] = {};
  UINT n = ::GetWindowsDirectoryA(marker, MAX_PATH);
  if (n > 0 && n + sizeof(qmsetup::kRestartMarkerBelowWindows) <= MAX_PATH) {
    std::memcpy(marker + n, qmsetup::kRestartMarkerBelowWindows, sizeof(qmsetup::kRestartMarkerBelowWindows));
    if (::PathFileExistsA(marker)) {
      // On NT the pending restart clears the marker; on the Windows 95 family the WININIT.INI
      // entry that Finish wrote does.
      if (FrontRunsOnNt()) ::MoveFileExA(marker, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      return front_code::kRestartPending;
    }
  }
  return CheckOsVersion();
}

}  // namespace
}  // namespace qm

extern "C" {

int __cdecl kx_Install(int /*reserved*/, int selector) { return qm::FrontInstall(selector); }
int __cdecl kx_Uninstall() { return qm::FrontUninstall(); }
int __cdecl kx_PrePareCheck() { return qm::FrontPrepareCheck(); }

}  // extern "C"

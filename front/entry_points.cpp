// The three exports a host setup program calls. The chapter sequences and the mapping of engine
// answers to host codes are fixed here, not taken from the script.
#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <initializer_list>

#include "base/result.h"
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

FrontResult FrontCompleteRun(FrontState& state, bool restart_needed) {
  ::FreeLibrary(state.engine);
  state.engine = nullptr;
  FrontReleaseStagedFiles(state);
  return restart_needed ? FrontResult::kRestartNeeded : FrontResult::kOk;
}

FrontResult FrontInstall(int selector) {
  QM_RETURN_IF_FAILED(StageAndBindEngine());
  FrontState& state = FrontGetState();

  const char* language = FrontLanguageForSelector(selector);
  if (!language) return FrontResult::kBadLanguage;
  char language_buffer[10] = {};
  std::memcpy(language_buffer, language, std::strlen(language));

  if (EngineAnswer(state.prepare(qmsetup::kPackageFileName)) != EngineResult::kOk) return FrontResult::kEngineFailed;
  const EngineResult mode = EngineAnswer(state.is_install("INSTALL"));
  if (mode == EngineResult::kAlreadyInstalled) return FrontResult::kOk;
  if (mode != EngineResult::kOk) return FrontResult::kEngineFailed;
  if (EngineAnswer(state.set_lang_id(language_buffer)) != EngineResult::kOk) return FrontResult::kEngineFailed;
  for (const char* chapter : {"FILES", "copy"}) {
    if (EngineAnswer(state.do_step(chapter)) != EngineResult::kOk) return FrontResult::kEngineFailed;
  }
  bool restart_needed = false;
  if (!FrontFinish(state, &restart_needed)) return FrontResult::kEngineFailed;
  for (const char* chapter : {"SetupHidReg", "start_Daemon", "RegCSP"}) {
    if (EngineAnswer(state.do_step(chapter)) != EngineResult::kOk) return FrontResult::kEngineFailed;
  }
  ::Sleep(kPauseBeforeCertDaemonMs);  // the slot daemon must be up before the certificate daemon
  if (EngineAnswer(state.do_step("start_certd")) != EngineResult::kOk) return FrontResult::kEngineFailed;
  return FrontCompleteRun(state, restart_needed);
}

FrontResult FrontUninstall() {
  QM_RETURN_IF_FAILED(StageAndBindEngine());
  FrontState& state = FrontGetState();

  if (EngineAnswer(state.prepare(qmsetup::kPackageFileName)) != EngineResult::kOk) return FrontResult::kEngineFailed;
  const EngineResult mode = EngineAnswer(state.is_install("UNINSTALL"));
  if (mode == EngineResult::kNotInstalled) return FrontResult::kOk;
  if (mode != EngineResult::kOk) return FrontResult::kEngineFailed;
  // A missing file must not stop a removal half-way: kFileMissing counts as done.
  for (const char* chapter : {"remove_certd", "remove_Daemon", "UnRegCSP", "delete", "UnSetupHidReg"}) {
    const EngineResult r = EngineAnswer(state.do_step(chapter));
    if (r != EngineResult::kOk && r != EngineResult::kFileMissing) return FrontResult::kEngineFailed;
  }
  bool restart_needed = false;
  if (!FrontFinish(state, &restart_needed)) return FrontResult::kEngineFailed;
  return FrontCompleteRun(state, restart_needed);
}

FrontResult FrontPrepareCheck() {
  char marker[MAX_PATH] = {};
  UINT n = ::GetWindowsDirectoryA(marker, MAX_PATH);
  if (n > 0 && n + sizeof(qmsetup::kRestartMarkerBelowWindows) <= MAX_PATH) {
    std::memcpy(marker + n, qmsetup::kRestartMarkerBelowWindows, sizeof(qmsetup::kRestartMarkerBelowWindows));
    if (::PathFileExistsA(marker)) {
      // On NT the pending restart clears the marker; on the Windows 95 family the WININIT.INI
      // entry that Finish wrote does.
      if (FrontRunsOnNt()) ::MoveFileExA(marker, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      return FrontResult::kRestartPending;
    }
  }
  return CheckOsVersion();
}

}  // namespace
}  // namespace qm

extern "C" {

int __cdecl kx_Install(int /*reserved*/, int selector) { return qm::ToInt(qm::FrontInstall(selector)); }
int __cdecl kx_Uninstall() { return qm::ToInt(qm::FrontUninstall()); }
int __cdecl kx_PrePareCheck() { return qm::ToInt(qm::FrontPrepareCheck()); }

}  // extern "C"

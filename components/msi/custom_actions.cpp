// The runtime MSI's deferred custom actions. Windows Installer copies the front into its folder;
// these load it from there and run it as any host setup program would. Each action gets what it
// needs in CustomActionData, set by an immediate action of the package:
//   InstallRuntime    "LANGSEL|front path": kx_PrePareCheck, then kx_Install(0, LANGSEL)
//   UninstallRuntime  "front path": kx_Uninstall
// Every outcome is written to the MSI log in words. A restart the front asks for is handed to
// the installer (msiexec then exits 3010); any failure fails the action (exit 1603).
// Windows Installer loads and unloads this library for each action: base/win/runtime_unload.cpp,
// linked in, gives back what the static runtime would otherwise leave in its process.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <string>

#include "base/result.h"
#include "base/win/scoped_handle.h"
#include "components/msi/scoped_msi_handle.h"
#include "qmsetup/exports.h"
#include "qmsetup/names.h"
#include "qmsetup/results.h"

namespace qm {
namespace {

using FrontInstall = qmsetup::FrontInstallFn;
using FrontNoArgs = qmsetup::FrontNoArgFn;

constexpr char kDataSeparator = '|';

std::string EngineLogPath() {
  char folder[MAX_PATH] = {};
  UINT n = ::GetWindowsDirectoryA(folder, MAX_PATH);
  return std::string(folder, n < MAX_PATH ? n : 0) + qmsetup::kLogBelowWindows;
}

std::string PreCheckWords(FrontResult code) {
  switch (code) {
    case FrontResult::kOk:
      return "the runtime may be installed";
    case FrontResult::kRestartPending:
      return "a restart from an earlier installation is still pending; restart Windows, then install again";
    case FrontResult::kOsUnsupported:
      return "this version of Windows is not supported";
    default:
      return "unknown result";
  }
}

// kx_Install and kx_Uninstall share their codes.
std::string RunWords(FrontResult code) {
  switch (code) {
    case FrontResult::kOk:
      return "done";
    case FrontResult::kRestartNeeded:
      return "done; Windows must be restarted to complete it";
    case FrontResult::kEngineFailed:
      return "the setup engine failed; see " + EngineLogPath();
    case FrontResult::kStagingFailed:
      return "the engine and its package could not be written to the Temp folder, or a foreign file is in their place";
    case FrontResult::kBadLanguage:
      return "the language selector is not 1, 2 or 3";
    default:
      return "unknown result; see " + EngineLogPath();
  }
}

// One line in the MSI log; with |error| also shown to an interactive user.
void Report(MSIHANDLE install, const std::string& text, bool error = false) {
  ScopedMsiHandle record(::MsiCreateRecord(1));
  if (!record) return;
  // The text goes in as a field, so brackets in paths are not read as properties.
  ::MsiRecordSetStringA(record.get(), 0, "QMSetup: [1]");
  ::MsiRecordSetStringA(record.get(), 1, text.c_str());
  ::MsiProcessMessage(install, INSTALLMESSAGE_INFO, record.get());
  if (error)
    ::MsiProcessMessage(install, static_cast<INSTALLMESSAGE>(INSTALLMESSAGE_ERROR | MB_OK | MB_ICONERROR),
                        record.get());
}

UINT Fail(MSIHANDLE install, const std::string& text) {
  Report(install, text, true);
  return ERROR_INSTALL_FAILURE;
}

bool ActionData(MSIHANDLE install, std::string* value) {
  char probe[1] = {};
  DWORD size = 0;
  UINT r = ::MsiGetPropertyA(install, "CustomActionData", probe, &size);
  if (r != ERROR_MORE_DATA && r != ERROR_SUCCESS) return false;
  std::string buffer(size + 1, '\0');
  size = static_cast<DWORD>(buffer.size());
  if (::MsiGetPropertyA(install, "CustomActionData", &buffer[0], &size) != ERROR_SUCCESS) return false;
  buffer.resize(size);
  *value = buffer;
  return true;
}

// The front loaded from |path|, or a failure already reported.
bool LoadFront(MSIHANDLE install, const std::string& path, ScopedModule* front) {
  front->Reset(::LoadLibraryA(path.c_str()));
  if (front->is_valid()) return true;
  Report(install, "cannot load the front " + path + " (error " + std::to_string(::GetLastError()) + ")", true);
  return false;
}

template <typename Entry>
bool FindEntry(MSIHANDLE install, const ScopedModule& front, const char* name, Entry* entry) {
  *entry = reinterpret_cast<Entry>(::GetProcAddress(front.get(), name));
  if (*entry) return true;
  Report(install, std::string("the front has no export ") + name, true);
  return false;
}

// Maps kx_Install's or kx_Uninstall's result to the action's.
UINT ActionResult(MSIHANDLE install, const char* entry, FrontResult code) {
  std::string text = std::string(entry) + " returned " + std::to_string(ToInt(code)) + ": " + RunWords(code);
  if (code != FrontResult::kOk && code != FrontResult::kRestartNeeded) return Fail(install, text);
  Report(install, text);
  if (code == FrontResult::kRestartNeeded) ::MsiSetMode(install, MSIRUNMODE_REBOOTATEND, TRUE);
  return ERROR_SUCCESS;
}

UINT InstallRuntime(MSIHANDLE install) {
  std::string data;
  if (!ActionData(install, &data)) return Fail(install, "cannot read CustomActionData");
  size_t cut = data.rfind(kDataSeparator);
  if (cut == std::string::npos || cut + 1 == data.size())
    return Fail(install, "CustomActionData \"" + data + "\" is not \"LANGSEL|front path\"");
  const std::string selector = data.substr(0, cut);
  const std::string path = data.substr(cut + 1);
  if (selector != "1" && selector != "2" && selector != "3")
    return Fail(install, "LANGSEL is \"" + selector + "\"; it must be 1, 2 or 3");

  ScopedModule front;
  if (!LoadFront(install, path, &front)) return ERROR_INSTALL_FAILURE;
  FrontNoArgs pre_check = nullptr;
  FrontInstall run = nullptr;
  if (!FindEntry(install, front, qmsetup::kFrontPrepareCheck, &pre_check) || !FindEntry(install, front, qmsetup::kFrontInstall, &run))
    return ERROR_INSTALL_FAILURE;

  const auto checked = static_cast<FrontResult>(pre_check());
  std::string text = "kx_PrePareCheck returned " + std::to_string(ToInt(checked)) + ": " + PreCheckWords(checked);
  if (checked != FrontResult::kOk) return Fail(install, text);
  Report(install, text);
  Report(install, "installing the runtime with " + path + ", LANGSEL " + selector);
  return ActionResult(install, "kx_Install", static_cast<FrontResult>(run(0, selector[0] - '0')));
}

UINT UninstallRuntime(MSIHANDLE install) {
  std::string path;
  if (!ActionData(install, &path) || path.empty()) return Fail(install, "CustomActionData names no front");
  ScopedModule front;
  if (!LoadFront(install, path, &front)) return ERROR_INSTALL_FAILURE;
  FrontNoArgs run = nullptr;
  if (!FindEntry(install, front, qmsetup::kFrontUninstall, &run)) return ERROR_INSTALL_FAILURE;
  Report(install, "removing the runtime with " + path);
  return ActionResult(install, "kx_Uninstall", static_cast<FrontResult>(run()));
}

}  // namespace
}  // namespace qm

// Windows Installer calls these by name (DllEntry); no exception may leave them.
extern "C" {

UINT __stdcall InstallRuntime(MSIHANDLE install) {
  try {
    return qm::InstallRuntime(install);
  } catch (...) {
    return ERROR_INSTALL_FAILURE;
  }
}

UINT __stdcall UninstallRuntime(MSIHANDLE install) {
  try {
    return qm::UninstallRuntime(install);
  } catch (...) {
    return ERROR_INSTALL_FAILURE;
  }
}

}  // extern "C"

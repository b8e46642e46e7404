// The engine's ten exports: thin stdcall wrappers, so nothing can throw across the boundary.
#include <windows.h>

#include <new>

#include "base/result.h"
#include "engine/api/entry_points.h"
#include "qmsetup/results.h"

namespace {

template <typename Result>
int AsInt(Result r) {
  return qm::ToInt(r);
}
int AsInt(bool yes) { return yes ? 1 : 0; }

// Allocation failure is the only exception the engine code can raise.
template <typename F>
int Guard(F f) {
  try {
    return AsInt(f());
  } catch (const std::bad_alloc&) {
    return qm::ToInt(qm::EngineResult::kInvalidArgument);
  } catch (...) {
    return qm::ToInt(qm::EngineResult::kInvalidArgument);
  }
}

const char* Text(const char* s) { return s ? s : ""; }

}  // namespace

extern "C" {

int __stdcall Prepare(const char* package) { return Guard([&] { return qm::EnginePrepare(Text(package)); }); }
int __stdcall SetInstDir(const char* folder) { return Guard([&] { return qm::EngineSetInstDir(Text(folder)); }); }
int __stdcall DoStep(const char* chapter) { return Guard([&] { return qm::EngineDoStep(Text(chapter)); }); }
int __stdcall Finish() { return Guard([&] { return qm::EngineFinish(); }); }
int __stdcall IsInstall(const char* mode) { return Guard([&] { return qm::EngineIsInstall(Text(mode)); }); }
int __stdcall SetLangID(const char* language) { return Guard([&] { return qm::EngineSetLangID(Text(language)); }); }
int __stdcall instMW_Install(const char* package) { return Guard([&] { return qm::MiddlewareInstall(Text(package)); }); }
int __stdcall instMW_Uninstall(const char* package) {
  return Guard([&] { return qm::MiddlewareUninstall(Text(package)); });
}
int __stdcall instMW_IsHaveInstalled(const char* package) {
  return Guard([&] { return qm::MiddlewareIsHaveInstalled(Text(package)); });
}
int __stdcall instMW_IsNeedReboot() { return Guard([&] { return qm::MiddlewareIsNeedReboot(); }); }

}  // extern "C"

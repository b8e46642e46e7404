#include <windows.h>

#include "engine/api/win32_system.h"
#include "engine/commands/dispatcher.h"
#include "engine/core/engine_state.h"
#include "engine/log/setup_log.h"
#include "qmsetup/names.h"

namespace qm {

namespace {

void EngineProcessAttach() {
  EngineState& state = EngineGetState();
  // Never waited on: the mutex only tells a later process that we have the engine loaded.
  state.instance_marker = ::CreateMutexA(nullptr, FALSE, qmsetup::kInstanceMarker);
  if (!state.instance_marker || ::GetLastError() == ERROR_ALREADY_EXISTS) state.instance_busy = true;
  LogEnable(LogGetWriter());
}

void EngineProcessDetach(bool unloading) {
  EngineState& state = EngineGetState();
  if (state.instance_marker) ::CloseHandle(state.instance_marker);
  state.instance_marker = nullptr;
  state.instance_busy = false;
  // On FreeLibrary the state and the log writer go with the module, so a host that loads and
  // unloads the engine many times keeps no memory or handle of ours. At process exit the
  // system takes everything anyway.
  if (unloading) {
    {
      Win32System system(state);
      ReleaseChapterLibraries(state.effects, system);
    }
    EngineDestroyState();
    LogDestroyWriter();
  }
}

}  // namespace
}  // namespace qm

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_THREAD_ATTACH || reason == DLL_THREAD_DETACH) return TRUE;
  qm::EngineGetState().engine_module = instance;
  if (reason == DLL_PROCESS_ATTACH) qm::EngineProcessAttach();
  if (reason == DLL_PROCESS_DETACH) qm::EngineProcessDetach(reserved == nullptr);
  return TRUE;
}

#include <windows.h>

#include "engine/api/engine_state.h"
#include "engine/log/setup_log.h"

namespace qm {

namespace {

constexpr char kInstanceMarkerName[] = "QM Setup Mutex";

void EngineProcessAttach() {
  EngineState& state = EngineGetState();
  // Never waited on: the mutex only tells a later process that we have the engine loaded.
  state.instance_marker = ::CreateMutexA(nullptr, FALSE, kInstanceMarkerName);
  if (!state.instance_marker || ::GetLastError() == ERROR_ALREADY_EXISTS) state.instance_busy = true;
  LogEnable(LogGetWriter());
}

void EngineProcessDetach(bool unloading) {
  EngineState& state = EngineGetState();
  // On FreeLibrary the log is closed, so no handle outlives the module; at process exit the
  // system closes it.
  if (unloading) LogGetWriter().stream.Reset();
  if (state.instance_marker) ::CloseHandle(state.instance_marker);
  state.instance_marker = nullptr;
  state.instance_busy = false;
}

}  // namespace
}  // namespace qm

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  qm::EngineGetState().engine_module = instance;
  if (reason == DLL_PROCESS_ATTACH) qm::EngineProcessAttach();
  if (reason == DLL_PROCESS_DETACH) qm::EngineProcessDetach(reserved == nullptr);
  return TRUE;
}

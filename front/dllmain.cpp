#include <windows.h>

#include "base/win/runtime_unload.h"
#include "front/front_state.h"

namespace qm {

FrontState& FrontGetState() {
  static FrontState state;
  return state;
}

}  // namespace qm

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  qm::FrontGetState().instance = instance;
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) qm::RuntimeReleaseOnUnload();
  return TRUE;
}

#include <windows.h>

#include "front/front_state.h"

namespace qm {

FrontState& FrontGetState() {
  static FrontState state;
  return state;
}

}  // namespace qm

BOOL WINAPI DllMain(HINSTANCE instance, DWORD /*reason*/, LPVOID /*reserved*/) {
  qm::FrontGetState().instance = instance;
  return TRUE;
}

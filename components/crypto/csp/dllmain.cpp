#include <windows.h>

#include "components/crypto/csp/provider.h"

namespace {

// CryptoAPI frees the library between a failed CPAcquireContext and its own return, so the
// caller's last-error value must survive the unload. The runtime's static destructors run after
// DllMain and may leave an error of their own, so the value goes back in the destructor of the
// object constructed first, which the runtime destroys last.
bool g_unloading = false;
DWORD g_error_at_unload = ERROR_SUCCESS;

struct LastErrorKeeper {
  ~LastErrorKeeper() {
    if (g_unloading) ::SetLastError(g_error_at_unload);
  }
};
__attribute__((init_priority(101))) LastErrorKeeper g_last_error_keeper;

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) qm::csp::ProviderAttach(instance);
  // On FreeLibrary (CryptoAPI unloads the provider with its last context) nothing of ours stays
  // behind; at process exit the system takes everything and other threads may hold the lock.
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    g_error_at_unload = ::GetLastError();
    g_unloading = true;
    qm::csp::ProviderDetach();
  }
  return TRUE;
}

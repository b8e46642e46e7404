#include "base/win/runtime_unload.h"

#include <windows.h>

namespace __gnu_cxx {
void __freeres() noexcept;  // libstdc++: frees the emergency exception pool
}  // namespace __gnu_cxx

namespace qm {
namespace {

constexpr int kMaxRecorded = 32;
HANDLE g_semaphores[kMaxRecorded];
LONG g_count = 0;

// Same contract as CreateSemaphoreW. The runtime only makes unnamed ones; those are made with
// the ANSI call, which (unlike the wide one) also works on the Windows 95 family.
HANDLE WINAPI RuntimeCreateSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum, LPCWSTR name) {
  if (name) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE semaphore = ::CreateSemaphoreA(attributes, initial, maximum, nullptr);
  if (semaphore) {
    LONG slot = ::InterlockedIncrement(&g_count) - 1;
    if (slot < kMaxRecorded) g_semaphores[slot] = semaphore;
  }
  return semaphore;
}

}  // namespace

void RuntimeReleaseOnUnload() {
  LONG count = g_count < kMaxRecorded ? g_count : kMaxRecorded;
  for (LONG i = 0; i < count; ++i) ::CloseHandle(g_semaphores[i]);
  g_count = 0;
  __gnu_cxx::__freeres();
}

}  // namespace qm

// The import slot the runtime's objects call CreateSemaphoreW through (libgcc's gthr and
// unwinder use __imp__CreateSemaphoreW@16): defined here, it points at the recorder above and
// keeps the kernel's import out of the image.
extern "C" {
extern void* const qm_runtime_create_semaphore_slot __asm__("__imp__CreateSemaphoreW@16");
void* const qm_runtime_create_semaphore_slot = reinterpret_cast<void*>(&qm::RuntimeCreateSemaphore);
}

// See runtime_unload.h. The runtime's objects call CreateSemaphoreW and CloseHandle through the
// import slots __imp__CreateSemaphoreW@16 and __imp__CloseHandle@4; defined here, those slots
// point at the recorder below. The runtime closes some of its semaphores itself (in static
// destructors) and never closes others (the frame registry's): the recorder knows which are
// still open, so each is closed exactly once, after everything else of the module has run.
#include "base/win/runtime_unload.h"

#include <windows.h>

#include <cstdlib>

namespace __gnu_cxx {
void __freeres() noexcept;  // libstdc++: frees the emergency exception pool
}  // namespace __gnu_cxx

namespace {

constexpr LONG kMaxRecorded = 32;
HANDLE g_semaphores[kMaxRecorded];
bool g_closed[kMaxRecorded];
LONG g_count = 0;
using CloseHandleFn = BOOL(WINAPI*)(HANDLE);
CloseHandleFn g_close_handle = nullptr;  // set on first use; no guarded static, which could lock

LONG RecordedCount() { return g_count < kMaxRecorded ? g_count : kMaxRecorded; }

// Same contract as CreateSemaphoreW. The runtime only makes unnamed ones; those are made with the
// ANSI call, which (unlike the wide one) also works on the Windows 95 family.
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

// Same contract as CloseHandle; a recorded semaphore is closed once only.
BOOL WINAPI RuntimeCloseHandle(HANDLE handle) {
  for (LONG i = 0; i < RecordedCount(); ++i) {
    if (g_semaphores[i] != handle) continue;
    if (g_closed[i]) return TRUE;
    g_closed[i] = true;
  }
  if (!g_close_handle)
    g_close_handle = reinterpret_cast<CloseHandleFn>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "CloseHandle"));
  return g_close_handle(handle);
}

void RuntimeReleaseLast() {
  const DWORD error = ::GetLastError();  // a host may be reading the error of the call that unloaded us
  for (LONG i = 0; i < RecordedCount(); ++i)
    if (!g_closed[i]) RuntimeCloseHandle(g_semaphores[i]);
  __gnu_cxx::__freeres();
  ::SetLastError(error);
}

// Registered before any other constructor runs, so it runs after every destructor and exit
// function of the module, when it is unloaded or the process ends.
__attribute__((constructor(101))) void RuntimeRegisterRelease() { std::atexit(RuntimeReleaseLast); }

}  // namespace

extern "C" {
extern void* const qm_runtime_create_semaphore_slot __asm__("__imp__CreateSemaphoreW@16");
void* const qm_runtime_create_semaphore_slot = reinterpret_cast<void*>(&RuntimeCreateSemaphore);
extern void* const qm_runtime_close_handle_slot __asm__("__imp__CloseHandle@4");
void* const qm_runtime_close_handle_slot = reinterpret_cast<void*>(&RuntimeCloseHandle);
}

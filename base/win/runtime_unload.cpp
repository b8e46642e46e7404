// See runtime_unload.h. The runtime's objects call CreateSemaphoreW and CloseHandle through the
// import slots __imp__CreateSemaphoreW@16 and __imp__CloseHandle@4; defined here, those slots
// point at the recorder below. The runtime closes some of its semaphores itself (in static
// destructors) and never closes others (the frame registry's): the recorder knows which are
// still open and closes those after everything else of the module has run.
#include "base/win/runtime_unload.h"

#include <windows.h>

#include <cstdlib>

namespace __gnu_cxx {
void __freeres() noexcept;  // libstdc++: frees the emergency exception pool
}  // namespace __gnu_cxx

namespace {

constexpr LONG kMaxRecorded = 32;
HANDLE g_semaphores[kMaxRecorded];  // the runtime's semaphores still open; a closed one is forgotten
LONG g_lock = 0;
using CloseHandleFn = BOOL(WINAPI*)(HANDLE);
CloseHandleFn g_close_handle = nullptr;  // set on first use; no guarded static, which could lock

// Hosts call the CSP and the PKCS#11 module from many threads. A spin lock, because it needs no
// set-up: the recorder runs before the first constructor and after the last destructor.
class RecordLock {
 public:
  RecordLock() {
    while (::InterlockedExchange(&g_lock, 1) != 0) ::Sleep(0);
  }
  ~RecordLock() { ::InterlockedExchange(&g_lock, 0); }
  RecordLock(const RecordLock&) = delete;
  RecordLock& operator=(const RecordLock&) = delete;
};

void Record(HANDLE semaphore) {
  RecordLock lock;
  for (HANDLE& slot : g_semaphores) {
    if (slot) continue;
    slot = semaphore;
    return;
  }
}

// Forgotten before it is closed: Windows hands the value out again, and the next handle with it
// is somebody else's.
void Forget(HANDLE handle) {
  RecordLock lock;
  for (HANDLE& slot : g_semaphores) {
    if (slot != handle) continue;
    slot = nullptr;
    return;
  }
}

// Same contract as CreateSemaphoreW. The runtime only makes unnamed ones; those are made with the
// ANSI call, which (unlike the wide one) also works on the Windows 95 family.
HANDLE WINAPI RuntimeCreateSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum, LPCWSTR name) {
  if (name) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  HANDLE semaphore = ::CreateSemaphoreA(attributes, initial, maximum, nullptr);
  if (semaphore) Record(semaphore);
  return semaphore;
}

// Same contract as CloseHandle.
BOOL WINAPI RuntimeCloseHandle(HANDLE handle) {
  Forget(handle);
  if (!g_close_handle)
    g_close_handle = reinterpret_cast<CloseHandleFn>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "CloseHandle"));
  return g_close_handle(handle);
}

// What the runtime never closed itself.
void RuntimeReleaseLast() {
  const DWORD error = ::GetLastError();  // a host may be reading the error of the call that unloaded us
  HANDLE open[kMaxRecorded] = {};
  {
    RecordLock lock;
    for (LONG i = 0; i < kMaxRecorded; ++i) open[i] = g_semaphores[i];
  }
  for (HANDLE semaphore : open)
    if (semaphore) RuntimeCloseHandle(semaphore);
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

// Move-only owners for Win32 handles: every HANDLE, HMODULE, SC_HANDLE and find handle the
// product opens is held by one of these, so it is closed on every return path.
#ifndef QM_BASE_WIN_SCOPED_HANDLE_H_
#define QM_BASE_WIN_SCOPED_HANDLE_H_

#include <windows.h>

#include <utility>

namespace qm {

template <typename Traits>
class ScopedGeneric {
 public:
  using Handle = typename Traits::Handle;

  ScopedGeneric() = default;
  explicit ScopedGeneric(Handle h) : handle_(h) {}
  ScopedGeneric(ScopedGeneric&& other) noexcept : handle_(other.Release()) {}
  ScopedGeneric& operator=(ScopedGeneric&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ScopedGeneric(const ScopedGeneric&) = delete;
  ScopedGeneric& operator=(const ScopedGeneric&) = delete;
  ~ScopedGeneric() { Reset(); }

  Handle get() const { return handle_; }
  bool is_valid() const { return Traits::IsValid(handle_); }
  explicit operator bool() const { return is_valid(); }

  void Reset(Handle h = Traits::Null()) {
    if (Traits::IsValid(handle_)) Traits::Close(handle_);
    handle_ = h;
  }
  Handle Release() { return std::exchange(handle_, Traits::Null()); }

 private:
  Handle handle_ = Traits::Null();
};

struct KernelHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return nullptr; }
  // CreateFile returns INVALID_HANDLE_VALUE, most other calls NULL; neither is owned.
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};

struct ModuleTraits {
  using Handle = HMODULE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::FreeLibrary(h); }
};

struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Null() { return INVALID_HANDLE_VALUE; }
  static bool IsValid(Handle h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};

struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Null() { return nullptr; }
  static bool IsValid(Handle h) { return h != nullptr; }
  static void Close(Handle h) { ::CloseServiceHandle(h); }
};

using ScopedHandle = ScopedGeneric<KernelHandleTraits>;
using ScopedModule = ScopedGeneric<ModuleTraits>;
using ScopedFindHandle = ScopedGeneric<FindHandleTraits>;
using ScopedServiceHandle = ScopedGeneric<ServiceHandleTraits>;

}  // namespace qm

#endif  // QM_BASE_WIN_SCOPED_HANDLE_H_

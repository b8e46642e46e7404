#include "front/staging.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>

#include "base/result_codes.h"
#include "base/win/scoped_handle.h"
#include "front/front_state.h"

namespace qm {
namespace {

// Appends |tail| to the zero-filled path buffer; false when it would not fit.
bool AppendPath(char (&buffer)[MAX_PATH], const char* tail) {
  size_t used = std::strlen(buffer);
  size_t add = std::strlen(tail);
  if (used + add >= MAX_PATH) return false;
  std::memcpy(buffer + used, tail, add + 1);
  return true;
}

#ifdef QM_FRONT_RUNTIME_NAME
// The runtime is a shared system library: write ours only where none of that name exists, so an
// older copy never replaces a newer one that other programs use.
int StageRuntime() {
  char runtime_path[MAX_PATH] = {};
  UINT n = ::GetSystemDirectoryA(runtime_path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || !AppendPath(runtime_path, "\\") || !AppendPath(runtime_path, QM_FRONT_RUNTIME_NAME))
    return front_code::kStagingFailed;
  if (::PathFileExistsA(runtime_path)) return front_code::kOk;
  if (WriteResourceToFile(kResourceRuntime, kResourceType, runtime_path)) return front_code::kOk;
  return ::PathFileExistsA(runtime_path) ? front_code::kOk : front_code::kStagingFailed;
}
#else
int StageRuntime() { return front_code::kOk; }
#endif

}  // namespace

bool WriteResourceToFile(unsigned identifier, const char* type, const char* path) {
  HMODULE instance = FrontGetState().instance;
  HRSRC found = ::FindResourceA(instance, MAKEINTRESOURCEA(identifier & 0xFFFF), type);
  HGLOBAL loaded = found ? ::LoadResource(instance, found) : nullptr;
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) return false;
  DWORD size = ::SizeofResource(instance, found);

  ScopedHandle file(::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) {
    // Held open elsewhere, typically by an engine still loaded from an earlier run: use it as is.
    return ::GetLastError() == ERROR_SHARING_VIOLATION;
  }
  DWORD written = 0;
  BOOL ok = ::WriteFile(file.get(), data, size, &written, nullptr);
  return ok && written == size;
}

int StageAndBindEngine() {
  FrontState& state = FrontGetState();
  char engine_path[MAX_PATH] = {};
  char package_path[MAX_PATH] = {};
  DWORD n = ::GetTempPathA(MAX_PATH, engine_path);
  if (n == 0 || n >= MAX_PATH || !AppendPath(engine_path, kStagingFolderName)) return front_code::kStagingFailed;
  ::CreateDirectoryA(engine_path, nullptr);  // an existing folder is normal
  std::memcpy(package_path, engine_path, MAX_PATH);
  if (!AppendPath(engine_path, "\\") || !AppendPath(engine_path, kEngineFileName) || !AppendPath(package_path, "\\") ||
      !AppendPath(package_path, kPackageFileName))
    return front_code::kStagingFailed;

  int result = StageRuntime();
  if (result != front_code::kOk) return result;
  if (!WriteResourceToFile(kResourceEngine, kResourceType, engine_path)) return front_code::kStagingFailed;
  if (!WriteResourceToFile(kResourcePackage, kResourceType, package_path)) return front_code::kStagingFailed;

  // Each call adds a reference; a loaded engine is found again, with its process-wide state.
  state.engine = ::LoadLibraryA(engine_path);
  if (!state.engine) return front_code::kEngineFailed;
  state.prepare = reinterpret_cast<EngineTextEntry>(::GetProcAddress(state.engine, "Prepare"));
  state.do_step = reinterpret_cast<EngineTextEntry>(::GetProcAddress(state.engine, "DoStep"));
  state.set_lang_id = reinterpret_cast<EngineTextEntry>(::GetProcAddress(state.engine, "SetLangID"));
  state.is_install = reinterpret_cast<EngineTextEntry>(::GetProcAddress(state.engine, "IsInstall"));
  state.finish = reinterpret_cast<EngineVoidEntry>(::GetProcAddress(state.engine, "Finish"));
  bool bound = state.prepare && state.do_step && state.set_lang_id && state.is_install && state.finish;
  return bound ? front_code::kOk : front_code::kEngineFailed;
}

}  // namespace qm

#include "front/staging.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "base/result.h"
#include "base/win/scoped_handle.h"
#include "front/front_state.h"
#include "front/private_folder.h"
#include "qmsetup/names.h"

namespace qm {
namespace {

struct ResourceBytes {
  const char* data = nullptr;
  DWORD size = 0;
};

enum class WriteOutcome { kWritten, kInUse, kFailed };

// Appends |tail| to the zero-filled path buffer; false when it would not fit.
bool AppendPath(char (&buffer)[MAX_PATH], const char* tail) {
  size_t used = std::strlen(buffer);
  size_t add = std::strlen(tail);
  if (used + add >= MAX_PATH) return false;
  std::memcpy(buffer + used, tail, add + 1);
  return true;
}

bool FindResourceBytes(unsigned identifier, const char* type, ResourceBytes* out) {
  HMODULE instance = FrontGetState().instance;
  HRSRC found = ::FindResourceA(instance, MAKEINTRESOURCEA(identifier & 0xFFFF), type);
  HGLOBAL loaded = found ? ::LoadResource(instance, found) : nullptr;
  const void* data = loaded ? ::LockResource(loaded) : nullptr;
  if (!data) return false;
  out->data = static_cast<const char*>(data);
  out->size = ::SizeofResource(instance, found);
  return true;
}

WriteOutcome WriteResourceBytes(const ResourceBytes& bytes, const char* path) {
  ScopedHandle file(::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr));
  if (!file) return ::GetLastError() == ERROR_SHARING_VIOLATION ? WriteOutcome::kInUse : WriteOutcome::kFailed;
  DWORD written = 0;
  BOOL ok = ::WriteFile(file.get(), bytes.data, bytes.size, &written, nullptr);
  return ok && written == bytes.size ? WriteOutcome::kWritten : WriteOutcome::kFailed;
}

// The whole of |file|, read from its start, is |bytes|.
bool FileHoldsBytes(HANDLE file, const ResourceBytes& bytes) {
  if (::GetFileSize(file, nullptr) != bytes.size || ::SetFilePointer(file, 0, nullptr, FILE_BEGIN) != 0) return false;
  std::vector<char> buffer(64 * 1024);
  for (DWORD done = 0; done < bytes.size;) {
    DWORD want = bytes.size - done < buffer.size() ? bytes.size - done : static_cast<DWORD>(buffer.size());
    DWORD got = 0;
    if (!::ReadFile(file, buffer.data(), want, &got, nullptr) || got == 0) return false;
    if (std::memcmp(buffer.data(), bytes.data + done, got) != 0) return false;
    done += got;
  }
  return true;
}

// Writes one carried file the engine runs from and leaves |staged| holding it open for reading,
// with writing and deletion denied to everyone else, once its bytes are known to be ours. A file
// held open by somebody else (an engine still loaded from an earlier run) is accepted only when it
// holds our bytes. A guard from an earlier call of this process vouches for its own path only.
bool StageGuardedResource(unsigned identifier, const char* path, StagedFile* staged) {
  if (staged->guard.is_valid() && std::strcmp(staged->path, path) == 0) return true;
  staged->guard.Reset();
  staged->path[0] = '\0';
  ResourceBytes bytes;
  if (!FindResourceBytes(identifier, kResourceType, &bytes)) return false;
  if (WriteResourceBytes(bytes, path) == WriteOutcome::kFailed) return false;
  // Reopened rather than kept from the write: the loader cannot map a file open for writing. What
  // anybody did in between is caught by the comparison.
  ScopedHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file || !FileHoldsBytes(file.get(), bytes)) return false;
  staged->guard = std::move(file);
  std::strncpy(staged->path, path, MAX_PATH - 1);
  return true;
}

#ifdef QM_FRONT_RUNTIME_NAME
// The runtime is a shared system library: write ours only where none of that name exists, so an
// older copy never replaces a newer one that other programs use.
FrontResult StageRuntime() {
  char runtime_path[MAX_PATH] = {};
  UINT n = ::GetSystemDirectoryA(runtime_path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH || !AppendPath(runtime_path, "\\") || !AppendPath(runtime_path, QM_FRONT_RUNTIME_NAME))
    return FrontResult::kStagingFailed;
  if (::PathFileExistsA(runtime_path)) return FrontResult::kOk;
  if (WriteResourceToFile(kResourceRuntime, kResourceType, runtime_path)) return FrontResult::kOk;
  return ::PathFileExistsA(runtime_path) ? FrontResult::kOk : FrontResult::kStagingFailed;
}
#else
FrontResult StageRuntime() { return FrontResult::kOk; }
#endif

FrontResult StageFiles(FrontState& state) {
  char engine_path[MAX_PATH] = {};
  char package_path[MAX_PATH] = {};
  DWORD n = ::GetTempPathA(MAX_PATH, engine_path);
  if (n == 0 || n >= MAX_PATH || !AppendPath(engine_path, qmsetup::kStagingFolderName)) return FrontResult::kStagingFailed;
  if (EnsurePrivateFolder(engine_path) != FolderAccess::kPrivate) return FrontResult::kStagingFailed;
  std::memcpy(package_path, engine_path, MAX_PATH);
  if (!AppendPath(engine_path, "\\") || !AppendPath(engine_path, qmsetup::kEngineFileName) || !AppendPath(package_path, "\\") ||
      !AppendPath(package_path, qmsetup::kPackageFileName))
    return FrontResult::kStagingFailed;

  QM_RETURN_IF_FAILED(StageRuntime());
  if (!StageGuardedResource(kResourceEngine, engine_path, &state.engine_file) ||
      !StageGuardedResource(kResourcePackage, package_path, &state.package_file))
    return FrontResult::kStagingFailed;

  // Each call adds a reference; a loaded engine is found again, with its process-wide state. A
  // failed load keeps the engine of an earlier bind, so a completed run can still release it.
  HMODULE engine = ::LoadLibraryA(engine_path);
  if (!engine) return FrontResult::kEngineFailed;
  if (state.engine && state.engine != engine) ::FreeLibrary(state.engine);  // staged elsewhere before
  state.engine = engine;
  return FrontResult::kOk;
}

}  // namespace

bool WriteResourceToFile(unsigned identifier, const char* type, const char* path) {
  ResourceBytes bytes;
  if (!FindResourceBytes(identifier, type, &bytes)) return false;
  switch (WriteResourceBytes(bytes, path)) {
    case WriteOutcome::kWritten:
      return true;
    case WriteOutcome::kInUse: {
      ScopedHandle file(::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
      return file && FileHoldsBytes(file.get(), bytes);
    }
    case WriteOutcome::kFailed:
      break;
  }
  return false;
}

FrontResult StageAndBindEngine() {
  FrontState& state = FrontGetState();
  FrontResult result = StageFiles(state);
  if (result == FrontResult::kStagingFailed && !state.engine) FrontReleaseStagedFiles(state);
  if (result != FrontResult::kOk) return result;
  state.prepare = reinterpret_cast<EngineTextEntry>(::GetProcAddress(state.engine, qmsetup::kEnginePrepare));
  state.do_step = reinterpret_cast<EngineTextEntry>(::GetProcAddress(state.engine, qmsetup::kEngineDoStep));
  state.set_lang_id = reinterpret_cast<EngineTextEntry>(::GetProcAddress(state.engine, qmsetup::kEngineSetLangId));
  state.is_install = reinterpret_cast<EngineTextEntry>(::GetProcAddress(state.engine, qmsetup::kEngineIsInstall));
  state.finish = reinterpret_cast<EngineVoidEntry>(::GetProcAddress(state.engine, qmsetup::kEngineFinish));
  bool bound = state.prepare && state.do_step && state.set_lang_id && state.is_install && state.finish;
  return bound ? FrontResult::kOk : FrontResult::kEngineFailed;
}

void FrontReleaseStagedFiles(FrontState& state) {
  for (StagedFile* staged : {&state.engine_file, &state.package_file}) {
    staged->guard.Reset();
    staged->path[0] = '\0';
  }
}

}  // namespace qm

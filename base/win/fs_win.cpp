#include <windows.h>

#include "base/fs.h"

namespace qm {

bool FsPathExists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool FsCreateFolder(const std::string& path) { return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE; }

bool FsDeleteFile(const std::string& path) {
  if (::DeleteFileA(path.c_str())) return true;
  ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  return ::DeleteFileA(path.c_str()) != FALSE;
}

std::string FsFullPath(const std::string& path) {
  char full[MAX_PATH] = {};
  char* name = nullptr;
  DWORD n = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, &name);
  return n == 0 || n >= MAX_PATH ? path : std::string(full, n);
}

std::FILE* FsOpen(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

bool FsOutputFile::Create(const std::string& path) {
  Close();
  // What the C runtime's fopen "wb" asks for, except that the handle is not inherited.
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  handle_ = reinterpret_cast<intptr_t>(h);
  return is_open();
}

bool FsOutputFile::Write(const void* data, size_t size) {
  const char* from = static_cast<const char*>(data);
  while (size > 0) {
    const DWORD want = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(handle_), from, want, &written, nullptr) || written == 0) return false;
    from += written;
    size -= written;
  }
  return true;
}

bool FsOutputFile::Close() {
  if (!is_open()) return true;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  handle_ = kNone;
  return ::CloseHandle(h) != FALSE;
}

void FsSetLastError(int code) { ::SetLastError(static_cast<DWORD>(code)); }
int FsGetLastError() { return static_cast<int>(::GetLastError()); }

}  // namespace qm

#include <windows.h>

#include "base/fs.h"

namespace qm {

bool FsPathExists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool FsCreateFolder(const std::string& path) { return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE; }

std::FILE* FsOpen(const std::string& path, const char* mode) { return std::fopen(path.c_str(), mode); }

void FsSetLastError(int code) { ::SetLastError(static_cast<DWORD>(code)); }
int FsGetLastError() { return static_cast<int>(::GetLastError()); }

}  // namespace qm

#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>

#include "base/fs.h"

namespace qm {
namespace {

std::string NativePath(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

}  // namespace

bool FsPathExists(const std::string& path) {
  struct stat st;
  return ::stat(NativePath(path).c_str(), &st) == 0;
}

bool FsCreateFolder(const std::string& path) { return ::mkdir(NativePath(path).c_str(), 0777) == 0; }

std::FILE* FsOpen(const std::string& path, const char* mode) { return std::fopen(NativePath(path).c_str(), mode); }

void FsSetLastError(int code) { errno = code; }
int FsGetLastError() { return errno; }

}  // namespace qm

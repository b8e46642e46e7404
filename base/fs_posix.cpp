#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

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

bool FsDeleteFile(const std::string& path) { return ::unlink(NativePath(path).c_str()) == 0; }

std::string FsFullPath(const std::string& path) {
  if (!path.empty() && (path[0] == '/' || path[0] == '\\')) return path;
  char cwd[4096];
  return ::getcwd(cwd, sizeof(cwd)) ? std::string(cwd) + "/" + path : path;
}

std::FILE* FsOpen(const std::string& path, const char* mode) { return std::fopen(NativePath(path).c_str(), mode); }

bool FsOutputFile::Create(const std::string& path) {
  Close();
  handle_ = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);  // as fopen "wb"
  return is_open();
}

bool FsOutputFile::Write(const void* data, size_t size) {
  const char* from = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(static_cast<int>(handle_), from, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    from += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool FsOutputFile::Close() {
  if (!is_open()) return true;
  const int fd = static_cast<int>(handle_);
  handle_ = kNone;
  return ::close(fd) == 0;
}

void FsSetLastError(int code) { errno = code; }
int FsGetLastError() { return errno; }

}  // namespace qm

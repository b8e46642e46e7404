// The few file-system calls the portable core needs, for Windows and for native builds.
#ifndef QM_BASE_FS_H_
#define QM_BASE_FS_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qm {

// A file or a folder exists at |path|.
bool FsPathExists(const std::string& path);
bool FsCreateFolder(const std::string& path);
// Deletes a file, resetting its attributes when a read-only one refuses: false when it is still
// there (in use) or was never there.
bool FsDeleteFile(const std::string& path);
// |path| made full against the current folder, the way the file system resolves it; |path| itself
// when that fails.
std::string FsFullPath(const std::string& path);
// Creates every missing folder of |folder|, outermost first; "\" and "/" both separate levels,
// and existing levels (a drive root among them) are passed over. False at the first level that
// cannot be made.
bool FsCreateFolderChain(const std::string& folder);
// The same, when the first |existing| characters of |folder| (up to a separator) name a folder that
// is known to exist: the levels down to it are not looked at.
bool FsCreateFolderChainBelow(const std::string& folder, size_t existing);
// fopen; native builds read "\" in |path| as a folder level.
std::FILE* FsOpen(const std::string& path, const char* mode);
// A file written with the system's own calls, no stdio buffer in between: for writers that hand
// over large pieces already. Create opens the way fopen(path, "wb") does: the file is made or
// emptied, others may still open it for reading and writing.
class FsOutputFile {
 public:
  FsOutputFile() = default;
  FsOutputFile(const FsOutputFile&) = delete;
  FsOutputFile& operator=(const FsOutputFile&) = delete;
  ~FsOutputFile() { Close(); }

  bool Create(const std::string& path);
  // All |size| bytes, or false.
  bool Write(const void* data, size_t size);
  // False when closing reported an error; true with nothing open.
  bool Close();
  bool is_open() const { return handle_ != kNone; }

 private:
  static constexpr intptr_t kNone = -1;  // INVALID_HANDLE_VALUE, or no descriptor
  intptr_t handle_ = kNone;
};

// The thread's last-error value (SetLastError on Windows, errno natively).
void FsSetLastError(int code);
int FsGetLastError();

}  // namespace qm

#endif  // QM_BASE_FS_H_

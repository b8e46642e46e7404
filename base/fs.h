// The few file-system calls the portable core needs, for Windows and for native builds.
#ifndef QM_BASE_FS_H_
#define QM_BASE_FS_H_

#include <cstdio>
#include <string>

namespace qm {

// A file or a folder exists at |path|.
bool FsPathExists(const std::string& path);
bool FsCreateFolder(const std::string& path);
// Creates every missing folder of |folder|, outermost first; "\" and "/" both separate levels,
// and existing levels (a drive root among them) are passed over. False at the first level that
// cannot be made.
bool FsCreateFolderChain(const std::string& folder);
// fopen; native builds read "\" in |path| as a folder level.
std::FILE* FsOpen(const std::string& path, const char* mode);
// The thread's last-error value (SetLastError on Windows, errno natively).
void FsSetLastError(int code);
int FsGetLastError();

}  // namespace qm

#endif  // QM_BASE_FS_H_

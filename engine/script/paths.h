// Path rules every command shares: when a path counts as absolute, and whether a composed path
// fits the 260-character buffers of the platform. Portable code.
#ifndef QM_ENGINE_SCRIPT_PATHS_H_
#define QM_ENGINE_SCRIPT_PATHS_H_

#include <cstddef>
#include <string>

namespace qm {

constexpr size_t kPathBufferSize = 260;  // MAX_PATH, the terminating NUL included

// A drive letter, ":" and "\": the first ":" at index 1 and the first "\" at index 2. Everything
// else (UNC paths, "C:x", "C:/x", "{PF}\x") is relative and still gets its placeholders expanded.
bool IsAbsolutePath(const std::string& path);

// Resolved against a current folder, so it would land wherever the host's happens to be: neither
// rooted ("\x", "/x", "\\server\share\x") nor on a drive with a root ("C:\x", "C:/x"). "C:x"
// is relative too, to drive C's current folder.
bool IsFolderRelativePath(const std::string& path);

// The name in |target|'s folder under which COPY writes a new file before it takes the target's
// place: "~qm", eight hex digits from the target's file name and ".new", so that it is plainly
// ours and always the same for one target. Empty when it would not fit 259 characters.
std::string CopySideFile(const std::string& target);

// The file a command's existence test looks at, and so the one it must start or load: an absolute
// path as written, any other made full against the current folder (never searched for elsewhere).
std::string PathAsTested(const std::string& path);

// True when |path| fits a 260-character buffer with its NUL; otherwise logs
// "<what> is longer than 259 characters: <path>" and returns false.
bool PathFits(const std::string& path, const char* what);

// The part of |path| before its last "\" (the whole path when it has none).
std::string PathFolderOf(const std::string& path);

}  // namespace qm

#endif  // QM_ENGINE_SCRIPT_PATHS_H_

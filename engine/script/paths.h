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

// True when |path| fits a 260-character buffer with its NUL; otherwise logs
// "<what> is longer than 259 characters: <path>" and returns false.
bool PathFits(const std::string& path, const char* what);

// The part of |path| before its last "\" (the whole path when it has none).
std::string PathFolderOf(const std::string& path);

}  // namespace qm

#endif  // QM_ENGINE_SCRIPT_PATHS_H_

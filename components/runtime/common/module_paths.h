// Where our files are (everything the daemons read and write lies beside their own program),
// and reading one.
#ifndef QM_COMPONENTS_RUNTIME_COMMON_MODULE_PATHS_H_
#define QM_COMPONENTS_RUNTIME_COMMON_MODULE_PATHS_H_

#include <windows.h>

#include <string>

namespace qm {

// GetModuleFileNameA of |module| (null: the program); empty when it does not fit MAX_PATH.
std::string ModulePath(HMODULE module);
// |path| up to its last "\", without it.
std::string FolderOf(const std::string& path);
// The Windows folder (GetWindowsDirectoryA), no trailing "\".
std::string WindowsFolder();
// The whole file; false when it cannot be opened or read (or is above 16 MB).
bool ReadWholeFile(const std::string& path, std::string* bytes);
// The NT family, which alone has a service manager.
bool IsNtPlatform();

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_COMMON_MODULE_PATHS_H_

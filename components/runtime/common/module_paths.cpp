#include "components/runtime/common/module_paths.h"

#include "base/win/scoped_handle.h"

namespace qm {

std::string ModulePath(HMODULE module) {
  char path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameA(module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return std::string(path, n);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string WindowsFolder() {
  char folder[MAX_PATH] = {};
  UINT n = ::GetWindowsDirectoryA(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  std::string text(folder, n);
  if (!text.empty() && text.back() == '\\') text.pop_back();
  return text;
}

bool ReadWholeFile(const std::string& path, std::string* bytes) {
  constexpr DWORD kMaxBytes = 16 << 20;
  ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD size = ::GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE || size > kMaxBytes) return false;
  std::string data(size, '\0');
  DWORD read = 0;
  if (size && (!::ReadFile(file.get(), &data[0], size, &read, nullptr) || read != size)) return false;
  *bytes = data;
  return true;
}

bool IsNtPlatform() {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(info);
  return ::GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace qm

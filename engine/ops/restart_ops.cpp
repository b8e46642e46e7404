#include "engine/ops/restart_ops.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <vector>

#include "base/ascii.h"
#include "base/win/reg_key.h"
#include "base/win/scoped_handle.h"
#include "engine/core/engine_state.h"
#include "engine/core/platform.h"
#include "engine/log/setup_log.h"
#include "qmsetup/results.h"

namespace qm {
namespace {

constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char kRunOnceValue[] = "removed";
constexpr char kReplacementProgram[] = "_removed.exe";
constexpr char kRenameSection[] = "[rename]";

// Both list files are opened this way, without sharing, for one read-and-write.
HANDLE OpenListFile(const std::string& path) {
  return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

bool CreateListFileIfMissing(const std::string& path) {
  if (::PathFileExistsA(path.c_str())) return true;
  ScopedHandle file(OpenListFile(path));
  return file.is_valid();
}

// The whole file; false on a short read.
bool ReadWhole(HANDLE file, std::string* out) {
  DWORD size = ::GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE) return false;
  std::vector<char> buffer(size + 1, '\0');
  DWORD got = 0;
  if (size > 0 && (!::ReadFile(file, buffer.data(), size, &got, nullptr) || got != size)) return false;
  out->assign(buffer.data(), size);
  return true;
}

bool WriteAll(HANDLE file, const std::string& text) {
  DWORD written = 0;
  return text.empty() || (::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                          written == text.size());
}

}  // namespace

std::string WininitWithDeletion(const std::string& content, const std::string& kind, const std::string& short_path) {
  const std::string entry = kind + "=" + short_path;
  const std::string lower = AsciiLower(content);
  const size_t section = lower.find(kRenameSection);
  if (section == std::string::npos) return content + "\r\n" + kRenameSection + "\r\n" + entry;
  const size_t body = section + sizeof(kRenameSection) - 1;
  const size_t next = lower.find('[', body);
  const std::string in_section = lower.substr(body, next == std::string::npos ? std::string::npos : next - body);
  if (in_section.find(AsciiLower(short_path)) != std::string::npos) return content;
  return content.substr(0, body) + "\r\n" + entry + content.substr(body);
}

int AddWininitDelete(const EngineState& state, const std::string& path) {
  const std::string kind = ::PathIsDirectoryA(path.c_str()) ? "DIRNUL" : "NUL";
  char short_path[1024] = {};
  DWORD n = ::GetShortPathNameA(path.c_str(), short_path, sizeof(short_path));
  if (n == 0 || n >= sizeof(short_path)) return 0;  // gone already: an empty entry would match anything
  const std::string wininit = state.windows_folder + "\\WININIT.INI";
  if (!CreateListFileIfMissing(wininit)) return 0;
  ScopedHandle file(OpenListFile(wininit));
  std::string content;
  if (!file || !ReadWhole(file.get(), &content)) return 0;
  const std::string updated = WininitWithDeletion(content, kind, short_path);
  if (updated == content) return 1;
  if (::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN) != 0 || !WriteAll(file.get(), updated) ||
      !::SetEndOfFile(file.get()))
    return 0;
  return 1;
}

int AppendRemovedIni(const EngineState& state, const std::string& target, const std::string& source) {
  const std::string list = state.windows_temp_folder + "\\_REMOVED.INI";
  if (!CreateListFileIfMissing(list)) return 0;
  int result = 0;
  {
    ScopedHandle file(OpenListFile(list));
    std::string content;
    // After the whole file is read the position is at its end, where the new line goes.
    if (file && ReadWhole(file.get(), &content) && WriteAll(file.get(), target + "=" + source + "\r\n")) result = 1;
  }
  RegKey run_once;
  if (run_once.Create(HKEY_LOCAL_MACHINE, kRunOnceKey) != ERROR_SUCCESS) return result;
  const std::string program = state.unpack_folder + "\\" + kReplacementProgram;
  WriteLogLine(program);
  LONG status = run_once.WriteString(kRunOnceValue, program);
  if (status != ERROR_SUCCESS) WriteLogLine(std::to_string(status));
  return result;
}

std::string RestartTimePath(const std::string& path) {
  // Looked up: Windows 2000 and 98 have neither; there is no redirection to undo there.
  using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
  using GetSystemWow64DirectoryFn = UINT(WINAPI*)(LPSTR, UINT);
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  auto is_wow64 = reinterpret_cast<IsWow64ProcessFn>(kernel ? ::GetProcAddress(kernel, "IsWow64Process") : nullptr);
  auto wow64_folder =
      reinterpret_cast<GetSystemWow64DirectoryFn>(kernel ? ::GetProcAddress(kernel, "GetSystemWow64DirectoryA") : nullptr);
  BOOL wow64 = FALSE;
  if (!is_wow64 || !wow64_folder || !is_wow64(::GetCurrentProcess(), &wow64) || !wow64) return path;
  char system[MAX_PATH] = {};
  char native_view[MAX_PATH] = {};
  UINT system_length = ::GetSystemDirectoryA(system, MAX_PATH);
  UINT wow64_length = wow64_folder(native_view, MAX_PATH);
  if (system_length == 0 || system_length >= MAX_PATH || wow64_length == 0 || wow64_length >= MAX_PATH) return path;
  if (path.size() <= system_length || path[system_length] != '\\' ||
      !AsciiEqualIgnoringCase(path.substr(0, system_length), system))
    return path;
  return std::string(native_view, wow64_length) + path.substr(system_length);
}

void DeleteAtRestart(const EngineState& state, const std::string& path) {
  if (PlatformIsNt(PlatformQuery())) {
    ::MoveFileExA(RestartTimePath(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  } else {
    AddWininitDelete(state, path);
  }
}

EngineResult ReplaceAtRestart(const EngineState& state, const std::string& source, const std::string& target) {
  if (PlatformIsNt(PlatformQuery())) {
    const std::string old_file = target + ".OLD";
    if (std::rename(target.c_str(), old_file.c_str()) != 0) return EngineResult::kReplaceMoveAsideFailed;
    if (!::CopyFileA(source.c_str(), target.c_str(), FALSE)) {
      // Put the installed file back: without it the product would be left without the file. A
      // copy that broke off (a full disk) leaves a partial target, which would stop the rename.
      const DWORD error = ::GetLastError();
      ::DeleteFileA(target.c_str());
      std::rename(old_file.c_str(), target.c_str());
      ::SetLastError(error);
      return EngineResult::kReplaceCopyFailed;
    }
    ::MoveFileExA(RestartTimePath(old_file).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  } else {
    AppendRemovedIni(state, target, source);
  }
  return EngineResult::kOk;
}

}  // namespace qm

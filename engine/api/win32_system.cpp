#include "engine/api/win32_system.h"

#include <windows.h>
#include <shlwapi.h>

#include <vector>

#include "base/fs.h"
#include "base/win/reg_key.h"
#include "base/win/scoped_handle.h"
#include "engine/ops/restart_ops.h"

namespace qm {
namespace {

SystemError LastErrorUnless(BOOL ok) { return ok ? kSystemOk : ::GetLastError(); }

// Counts and their keys are opened with full access, as the records have always been.
bool OpenKey(const std::string& key, RegKey* out) {
  return out->Open(HKEY_LOCAL_MACHINE, key.c_str(), KEY_ALL_ACCESS) == ERROR_SUCCESS;
}

}  // namespace

bool Win32System::PathExists(const std::string& path) { return ::PathFileExistsA(path.c_str()) != FALSE; }

SystemError Win32System::CopyTo(const std::string& from, const std::string& to) {
  return LastErrorUnless(::CopyFileA(from.c_str(), to.c_str(), FALSE));
}

SystemError Win32System::MoveTo(const std::string& from, const std::string& to) {
  return LastErrorUnless(::MoveFileA(from.c_str(), to.c_str()));
}

bool Win32System::RemoveFile(const std::string& path) { return FsDeleteFile(path); }

SystemError Win32System::CreateFolderChain(const std::string& folder) {
  return FsCreateFolderChain(folder) ? kSystemOk : ::GetLastError();
}

void Win32System::ClearReadOnly(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    ::SetFileAttributesA(path.c_str(), (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL);
}

bool Win32System::FolderHoldsOnlyDotEntries(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  ScopedFindHandle find(::FindFirstFileA((folder + "\\*.*").c_str(), &entry));
  if (!find) return true;
  do {
    if (entry.cFileName[0] != '.') return false;
  } while (::FindNextFileA(find.get(), &entry));
  return true;
}

void Win32System::RemoveFolder(const std::string& folder) { ::RemoveDirectoryA(folder.c_str()); }

uint64_t Win32System::FileVersion(const std::string& path) {
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return 0;
  std::vector<char> block(size);
  if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return 0;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO) || info->dwSignature != 0xFEEF04BD)
    return 0;
  return (uint64_t{info->dwFileVersionMS} << 32) | info->dwFileVersionLS;
}

EngineResult Win32System::ReplaceAtRestart(const std::string& source, const std::string& target, SystemError* error) {
  EngineResult r = qm::ReplaceAtRestart(state_, source, target);
  *error = r == EngineResult::kOk ? kSystemOk : ::GetLastError();
  return r;
}

void Win32System::DeleteAtRestart(const std::string& path) { qm::DeleteAtRestart(state_, path); }

bool Win32System::KeyExists(const std::string& key) {
  RegKey k;
  return OpenKey(key, &k);
}

bool Win32System::CreateKey(const std::string& key) {
  RegKey k;
  return k.OpenOrCreate(HKEY_LOCAL_MACHINE, key.c_str()) == ERROR_SUCCESS;
}

CountRead Win32System::ReadCount(const std::string& key, const std::string& name, uint32_t* count) {
  RegKey k;
  if (!OpenKey(key, &k)) return CountRead::kFailed;
  DWORD value = 0;
  switch (k.ReadCount(name.c_str(), &value)) {
    case RegCount::kPresent:
      *count = value;
      return CountRead::kPresent;
    case RegCount::kAbsent:
      return CountRead::kAbsent;
    case RegCount::kFailed:
      break;
  }
  return CountRead::kFailed;
}

bool Win32System::WriteCount(const std::string& key, const std::string& name, uint32_t count) {
  RegKey k;
  return OpenKey(key, &k) && k.WriteDword(name.c_str(), count) == ERROR_SUCCESS;
}

bool Win32System::WriteString(const std::string& key, const std::string& name, const std::string& value) {
  RegKey k;
  return OpenKey(key, &k) && k.WriteString(name.c_str(), value) == ERROR_SUCCESS;
}

void Win32System::DeleteValue(const std::string& key, const std::string& name) {
  RegKey k;
  if (OpenKey(key, &k)) k.DeleteValue(name.c_str());
}

bool Win32System::KeyHasValues(const std::string& key) {
  RegKey k;
  return OpenKey(key, &k) && k.HasAnyValue();
}

bool Win32System::KeyHasSubKeys(const std::string& key) {
  RegKey k;
  return OpenKey(key, &k) && k.HasAnySubKey();
}

void Win32System::DeleteKey(const std::string& parent, const std::string& name) {
  RegKey k;
  if (OpenKey(parent, &k)) k.DeleteSubKey(name.c_str());
}

SystemError Win32System::StartProcess(const std::string& application, const std::string& command_line, bool wait) {
  char buffer[MAX_PATH] = {};
  command_line.copy(buffer, sizeof(buffer) - 1);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!::CreateProcessA(application.c_str(), buffer, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
    return ::GetLastError();
  ScopedHandle process(info.hProcess);
  ScopedHandle thread(info.hThread);
  if (wait) ::WaitForSingleObject(process.get(), INFINITE);
  return kSystemOk;
}

void Win32System::Pause(uint32_t milliseconds) { ::Sleep(milliseconds); }

ModuleHandle Win32System::LoadModule(const std::string& path) {
  // A trailing "." keeps LoadLibraryA from adding ".dll" to a name without an extension.
  const size_t name = path.find_last_of("\\/");
  const bool extension = path.find('.', name == std::string::npos ? 0 : name) != std::string::npos;
  return ::LoadLibraryA((extension ? path : path + ".").c_str());
}

ExportAddress Win32System::FindExport(ModuleHandle module, const std::string& name) {
  return reinterpret_cast<ExportAddress>(::GetProcAddress(static_cast<HMODULE>(module), name.c_str()));
}

int Win32System::CallExport(ExportAddress entry, const std::string& text) {
  // The stack pointer is restored afterwards, so an export of another calling convention cannot
  // unbalance the engine's stack.
  int result;
  const char* argument = text.c_str();
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "pushl %2\n\t"
      "call *%1\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(result)
      : "r"(entry), "r"(argument)
      : "esi", "ecx", "edx", "memory", "cc");
  return result;
}

void Win32System::ReleaseModule(ModuleHandle module) { ::FreeLibrary(static_cast<HMODULE>(module)); }

}  // namespace qm

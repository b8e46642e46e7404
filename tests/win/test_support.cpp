#include "tests/win/test_support.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/win/reg_key.h"
#include "qmsetup/names.h"

namespace qmtest {

DWORD ServiceState(const char* name) {
  qm::ScopedServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  qm::ScopedServiceHandle service(manager ? ::OpenServiceA(manager.get(), name, SERVICE_QUERY_STATUS) : nullptr);
  SERVICE_STATUS status = {};
  if (!service || !::QueryServiceStatus(service.get(), &status)) return 0;
  return status.dwCurrentState;
}

std::string BinFolder() {
  char path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  return s.substr(0, s.find_last_of('\\'));
}

std::string WindowsFolder() {
  char path[MAX_PATH] = {};
  ::GetWindowsDirectoryA(path, MAX_PATH);
  return path;
}

std::string SystemFolder() {
  char path[MAX_PATH] = {};
  ::GetSystemDirectoryA(path, MAX_PATH);
  return path;
}

std::string TempPath() {
  char path[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, path);
  return path;
}

CurrentFolder::CurrentFolder(const std::string& folder) {
  ::GetCurrentDirectoryA(MAX_PATH, previous_);
  ::SetCurrentDirectoryA(folder.c_str());
}

CurrentFolder::~CurrentFolder() { ::SetCurrentDirectoryA(previous_); }

std::string StagingFolder() { return TempPath() + qmsetup::kStagingFolderName; }
std::string MarkerPath() { return WindowsFolder() + qmsetup::kRestartMarkerBelowWindows; }
std::string EngineLogPath() { return WindowsFolder() + qmsetup::kLogBelowWindows; }

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    items.push_back(text.substr(start, end - start));
    start = end + separator.size();
  }
  return items;
}

bool FileExists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WalkTree(const std::string& folder, const TreeVisitor& visit, const std::string& relative) {
  WIN32_FIND_DATAA data;
  qm::ScopedFindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &data));
  if (!find) return;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    const std::string rel = relative.empty() ? name : relative + "\\" + name;
    visit(rel, folder + "\\" + name, data);
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) WalkTree(folder + "\\" + name, visit, rel);
  } while (::FindNextFileA(find.get(), &data));
}

std::vector<std::string> ListTree(const std::string& folder, bool with_folders) {
  std::vector<std::string> out;
  WalkTree(folder, [&](const std::string& relative, const std::string&, const WIN32_FIND_DATAA& data) {
    if (with_folders || !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(relative);
  });
  std::sort(out.begin(), out.end());
  return out;
}

std::string ReadFileBytes(const std::string& path) {
  std::string out;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) out.append(buffer, n);
  std::fclose(f);
  return out;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

void DeleteTree(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::DeleteFileA(path.c_str());
    return;
  }
  WIN32_FIND_DATAA data;
  qm::ScopedFindHandle find(::FindFirstFileA((path + "\\*").c_str(), &data));
  if (find) {
    do {
      std::string name = data.cFileName;
      if (name != "." && name != "..") DeleteTree(path + "\\" + name);
    } while (::FindNextFileA(find.get(), &data));
  }
  find.Reset();
  ::RemoveDirectoryA(path.c_str());
}

std::string MakeScratchFolder(const std::string& name) {
  std::string folder = TempPath() + "qmtest_" + name;
  DeleteTree(folder);
  ::CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

ProcessResult RunProcess(const std::string& command_line, DWORD timeout_ms) {
  ProcessResult result;
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE read_raw = nullptr;
  HANDLE write_raw = nullptr;
  if (!::CreatePipe(&read_raw, &write_raw, &sa, 0)) return result;
  qm::ScopedHandle read_end(read_raw);
  qm::ScopedHandle write_end(write_raw);
  ::SetHandleInformation(read_end.get(), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write_end.get();
  si.hStdError = write_end.get();
  si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi = {};
  std::string cmd = command_line;
  if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return result;
  qm::ScopedHandle process(pi.hProcess);
  qm::ScopedHandle thread(pi.hThread);
  write_end.Reset();  // so the read below ends when the child exits

  // Read while the child runs, and stop once it has ended: a process it started (Wine's desktop
  // process among them) may inherit the pipe and keep it open far longer.
  const DWORD start = ::GetTickCount();
  for (bool ended = false;;) {
    DWORD available = 0;
    while (::PeekNamedPipe(read_end.get(), nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      char buffer[4096];
      DWORD n = 0;
      if (!::ReadFile(read_end.get(), buffer, available < sizeof(buffer) ? available : sizeof(buffer), &n, nullptr) || n == 0)
        break;
      result.output.append(buffer, n);
    }
    if (ended) break;
    ended = ::WaitForSingleObject(process.get(), 20) == WAIT_OBJECT_0;
    if (!ended && ::GetTickCount() - start > timeout_ms) {
      ::TerminateProcess(process.get(), 1);
      return result;
    }
  }
  ::GetExitCodeProcess(process.get(), &result.exit_code);
  std::string clean;
  for (char c : result.output)
    if (c != '\r') clean += c;
  result.output = clean;
  return result;
}

std::string WindowsVersionCopy(const std::string& exe, const std::string& version) {
  std::string folder = exe.substr(0, exe.find_last_of('\\') + 1);
  std::string stem = exe.substr(folder.size());
  stem = stem.substr(0, stem.rfind('.'));
  std::string name = stem + "_" + version + ".exe";
  ::CopyFileA(exe.c_str(), (folder + name).c_str(), FALSE);
  qm::RegKey key;
  key.Create(HKEY_CURRENT_USER, ("Software\\Wine\\AppDefaults\\" + name).c_str());
  key.WriteString("Version", version);
  return folder + name;
}

ProcessResult RunAsWindowsVersion(const std::string& exe, const std::string& version, const std::string& args) {
  return RunProcess("\"" + WindowsVersionCopy(exe, version) + "\" " + args);
}

std::vector<std::string> PendingFileRenameOperations() {
  std::vector<std::string> items;
  qm::RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", KEY_QUERY_VALUE) !=
      ERROR_SUCCESS)
    return items;
  DWORD type = 0;
  DWORD size = 0;
  if (::RegQueryValueExA(key.get(), "PendingFileRenameOperations", nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return items;
  std::string data(size, '\0');
  ::RegQueryValueExA(key.get(), "PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(&data[0]), &size);
  // Items are NUL-separated pairs; an empty item (a deletion's missing target) is kept, the list's
  // own terminator is not.
  items = Split(data, std::string(1, '\0'));
  while (items.size() % 2 == 1 && items.back().empty()) items.pop_back();
  return items;
}

FileHolder::FileHolder(const std::string& path, const std::string& mode) {
  static int holders = 0;  // one event per holder: a signalled one of an earlier holder would lie
  std::string event_name = "qmtest_hold_" + std::to_string(::GetCurrentProcessId()) + "_" + std::to_string(++holders);
  qm::ScopedHandle ready(::CreateEventA(nullptr, TRUE, FALSE, event_name.c_str()));
  std::string cmd = "\"" + BinFolder() + "\\hold.exe\" \"" + path + "\" " + event_name + " " + mode;
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
  process_.Reset(pi.hProcess);
  ::CloseHandle(pi.hThread);
  HANDLE waits[2] = {ready.get(), process_.get()};
  holding_ = ::WaitForMultipleObjects(2, waits, FALSE, 10000) == WAIT_OBJECT_0;
}

FileHolder::~FileHolder() {
  if (process_) {
    ::TerminateProcess(process_.get(), 0);
    ::WaitForSingleObject(process_.get(), 10000);
  }
}

namespace {

std::string Narrow(const std::wstring& text) {
  std::string out(text.size() * 2 + 1, '\0');
  int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0],
                                static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(n > 0 ? n : 0);
  return out;
}

std::wstring Wide(const std::string& text) {
  std::wstring out(text.size() + 1, L'\0');
  int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], static_cast<int>(out.size()));
  out.resize(n > 0 ? n : 0);
  return out;
}

// Read through the wide calls, which show what is stored. Strings are shown without their
// terminating NUL: Wine stores one after a narrow string whose length did not count it, so the
// writer's length cannot be told from the stored data there.
void RegistryTreeInto(HKEY root, const std::wstring& path, const std::string& relative, std::vector<std::string>* out) {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &raw) != ERROR_SUCCESS) return;
  qm::RegKey owner;
  owner.Adopt(raw);
  size_t before = out->size();
  for (DWORD i = 0;; ++i) {
    wchar_t name[1024];
    DWORD name_size = 1024;
    BYTE data[8192];
    DWORD data_size = sizeof(data);
    DWORD type = 0;
    if (::RegEnumValueW(raw, i, name, &name_size, nullptr, &type, data, &data_size) != ERROR_SUCCESS) break;
    std::string line = relative + "|" + Narrow(std::wstring(name, name_size)) + "=";
    if (type == REG_DWORD && data_size == 4) {
      DWORD v;
      std::memcpy(&v, data, 4);
      line += "DWORD:" + std::to_string(v);
    } else if (type == REG_SZ || type == REG_MULTI_SZ) {
      std::wstring text(reinterpret_cast<const wchar_t*>(data), data_size / 2);
      if (type == REG_SZ && !text.empty() && text.back() == L'\0') text.pop_back();
      line += std::string(type == REG_SZ ? "SZ" : "MULTI_SZ") + ":\"";
      for (wchar_t c : text) line += c ? Narrow(std::wstring(1, c)) : "\\0";
      line += "\"";
    } else {
      line += "TYPE" + std::to_string(type) + ":" + std::to_string(data_size) + " bytes";
    }
    out->push_back(line);
  }
  if (out->size() == before) out->push_back(relative + "|");
  for (DWORD i = 0;; ++i) {
    wchar_t sub[1024];
    if (::RegEnumKeyW(raw, i, sub, 1024) != ERROR_SUCCESS) break;
    RegistryTreeInto(root, path + L"\\" + sub, (relative.empty() ? "" : relative + "\\") + Narrow(sub), out);
  }
}

}  // namespace

std::vector<std::string> RegistryTree(const std::string& path) {
  std::vector<std::string> out;
  RegistryTreeInto(HKEY_LOCAL_MACHINE, Wide(path), "", &out);
  std::sort(out.begin(), out.end());
  return out;
}

bool RegistryKeyExists(const std::string& path) {
  qm::RegKey key;
  return key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_READ) == ERROR_SUCCESS;
}

ProcessCounters ReadProcessCounters() {
  ProcessCounters counters;
  // Committed private memory, summed over the address space: the same on Windows and Wine.
  MEMORY_BASIC_INFORMATION info;
  for (const char* at = nullptr; ::VirtualQuery(at, &info, sizeof(info)) == sizeof(info);) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) counters.private_bytes += info.RegionSize;
    const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
    if (next <= at) break;
    at = next;
  }
  // Wine reports no handle count; there the slot of a new handle (lowest free first) rises the
  // same way when handles are left open.
  if (!::GetProcessHandleCount(::GetCurrentProcess(), &counters.handles) || counters.handles == 0) {
    HANDLE probe = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    counters.handles = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(probe) / 4);
    ::CloseHandle(probe);
  }
  return counters;
}

std::vector<ExportEntry> ModuleExports(HMODULE module) {
  std::vector<ExportEntry> out;
  auto base = reinterpret_cast<const BYTE*>(module);
  auto dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  if (dir.VirtualAddress == 0) return out;
  auto exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  auto names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  auto ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  for (DWORD i = 0; i < exports->NumberOfNames; ++i)
    out.push_back({reinterpret_cast<const char*>(base + names[i]), static_cast<WORD>(ordinals[i] + exports->Base)});
  return out;
}

bool FrontExports::Bind(HMODULE front) {
  precheck = reinterpret_cast<qmsetup::FrontNoArgFn>(::GetProcAddress(front, qmsetup::kFrontPrepareCheck));
  install = reinterpret_cast<qmsetup::FrontInstallFn>(::GetProcAddress(front, qmsetup::kFrontInstall));
  uninstall = reinterpret_cast<qmsetup::FrontNoArgFn>(::GetProcAddress(front, qmsetup::kFrontUninstall));
  return precheck && install && uninstall;
}

}  // namespace qmtest

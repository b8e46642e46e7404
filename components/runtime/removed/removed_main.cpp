// _REMOVED.exe: started once at logon through the HKLM RunOnce value "removed". Puts the source
// of every "target=source" line of <Windows>\Temp\_REMOVED.INI in its target's place once the
// target is no longer in use, and leaves the lines it could not do yet for the next logon.
//   _REMOVED.exe [-w SECONDS]   how long to wait in all for targets in use (default 180)
// Logs to <Windows>\Temp\_REMOVED.log. A windowed program without a window, so that nothing
// shows at logon. Exit codes: RemovedResult.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/win/reg_key.h"
#include "base/win/scoped_handle.h"
#include "components/runtime/common/daemon_log.h"
#include "components/runtime/common/module_paths.h"
#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/removed/replace_list.h"

namespace {

using qm::ReplaceItem;

constexpr char kListName[] = "\\Temp\\_REMOVED.INI";
constexpr char kLogName[] = "\\Temp\\_REMOVED.log";
constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr char kRunOnceValue[] = "removed";
constexpr DWORD kDefaultWaitSeconds = 180;
constexpr DWORD kMaxWaitSeconds = 3600;
constexpr DWORD kFirstDelayMs = 500;
constexpr DWORD kMaxDelayMs = 10000;
constexpr int kListReadTries = 10;  // the setup engine holds the list only for one read and write
constexpr unsigned long kLogMaxBytes = 256 * 1024;

enum class Step { kDone, kBusy, kDropped, kKept };

struct Paths {
  std::string list;
  std::string log;
};

void Log(const Paths& paths, const std::string& text) { qm::AppendLogLine(paths.log, text, kLogMaxBytes); }

bool IsFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// What a target that another program holds open answers.
bool IsInUse(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_USER_MAPPED_FILE;
}

void ClearReadOnly(const std::string& path) {
  DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return;
  attributes &= ~FILE_ATTRIBUTE_READONLY;
  ::SetFileAttributesA(path.c_str(), attributes ? attributes : FILE_ATTRIBUTE_NORMAL);
}

Step Replace(const ReplaceItem& item, bool first_try, const Paths& paths) {
  DWORD source = ::GetFileAttributesA(item.source.c_str());
  if (source == INVALID_FILE_ATTRIBUTES || IsFolder(source)) {
    Log(paths, "source missing, line dropped: " + item.target + "=" + item.source);
    return Step::kDropped;
  }
  if (!IsFolder(::GetFileAttributesA(qm::ParentFolder(item.target).c_str()))) {
    Log(paths, "target folder missing, line dropped: " + item.target + "=" + item.source);
    return Step::kDropped;
  }
  DWORD target = ::GetFileAttributesA(item.target.c_str());
  if (IsFolder(target)) {
    Log(paths, "target is a folder, line dropped: " + item.target + "=" + item.source);
    return Step::kDropped;
  }
  ClearReadOnly(item.target);
  if (::CopyFileA(item.source.c_str(), item.target.c_str(), FALSE)) {
    ClearReadOnly(item.target);  // a read-only source must not make a target nothing can update
    Log(paths, "replaced " + item.target + " with " + item.source);
    return Step::kDone;
  }
  DWORD error = ::GetLastError();
  if (target != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesA(item.target.c_str(), target);
  if (IsInUse(error)) {
    if (first_try) Log(paths, "in use, waiting: " + item.target + " (error " + std::to_string(error) + ")");
    return Step::kBusy;
  }
  Log(paths, "cannot replace " + item.target + " (error " + std::to_string(error) + "), kept for the next logon");
  return Step::kKept;
}

bool ReadList(const std::string& path, std::string* bytes) {
  for (int i = 0; i < kListReadTries; ++i) {
    if (qm::ReadWholeFile(path, bytes)) return true;
    if (::GetLastError() == ERROR_FILE_NOT_FOUND) return false;
    ::Sleep(kFirstDelayMs);
  }
  return false;
}

bool WriteList(const std::string& path, const std::string& bytes) {
  ClearReadOnly(path);
  qm::ScopedHandle file(
      ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

// Windows removed the value before starting us; written again, the next logon runs us again.
void ScheduleNextLogon(const Paths& paths) {
  std::string program = qm::ModulePath(nullptr);
  if (program.find(' ') != std::string::npos) program = "\"" + program + "\"";
  qm::RegKey key;
  LONG status = key.Create(HKEY_LOCAL_MACHINE, kRunOnceKey);
  if (status == ERROR_SUCCESS) status = key.WriteString(kRunOnceValue, program);
  Log(paths, status == ERROR_SUCCESS ? "runs again at the next logon: " + program
                                     : "cannot schedule the next run (error " + std::to_string(status) + ")");
}

std::string WindowsVersion() {
  OSVERSIONINFOA info;
  ZeroMemory(&info, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(info);
  if (!::GetVersionExA(&info)) return "an unknown Windows";
  return "Windows " + std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + " (platform " +
         std::to_string(info.dwPlatformId) + ")";
}

bool SameItem(const ReplaceItem& a, const ReplaceItem& b) { return a.target == b.target && a.source == b.source; }

bool Contains(const std::vector<ReplaceItem>& items, const ReplaceItem& item) {
  for (const ReplaceItem& other : items)
    if (SameItem(other, item)) return true;
  return false;
}

bool ParseWait(int argc, char** argv, DWORD* wait_ms) {
  *wait_ms = kDefaultWaitSeconds * 1000;
  if (argc == 1) return true;
  if (argc != 3 || std::strcmp(argv[1], "-w") != 0) return false;
  char* end = nullptr;
  unsigned long seconds = std::strtoul(argv[2], &end, 10);
  if (end == argv[2] || *end != '\0' || seconds > kMaxWaitSeconds) return false;
  *wait_ms = seconds * 1000;
  return true;
}

qm::RemovedResult Run(int argc, char** argv) {
  const std::string windows = qm::WindowsFolder();
  const Paths paths = {windows + kListName, windows + kLogName};
  DWORD wait_ms = 0;
  if (!ParseWait(argc, argv, &wait_ms)) {
    Log(paths, "usage: _REMOVED.exe [-w SECONDS]; nothing done");
    return qm::RemovedResult::kUsage;
  }
  Log(paths, "started on " + WindowsVersion());
  std::string bytes;
  if (!ReadList(paths.list, &bytes)) {
    if (::GetFileAttributesA(paths.list.c_str()) == INVALID_FILE_ATTRIBUTES) {
      Log(paths, "no list " + paths.list + ", nothing to do");
      return qm::RemovedResult::kOk;
    }
    Log(paths, "cannot read " + paths.list + " (error " + std::to_string(::GetLastError()) + ")");
    ScheduleNextLogon(paths);
    return qm::RemovedResult::kListFailed;
  }
  const qm::ReplaceList list = qm::ParseReplaceList(bytes);
  for (const qm::MalformedLine& line : list.malformed)
    Log(paths, "line " + std::to_string(line.number) + " malformed, dropped: " + line.text);
  if (list.blank_lines) Log(paths, std::to_string(list.blank_lines) + " blank lines dropped");

  std::vector<ReplaceItem> pending = list.items;
  std::vector<ReplaceItem> kept;
  DWORD start = ::GetTickCount();
  DWORD delay = kFirstDelayMs;
  for (bool first = true; !pending.empty(); first = false) {
    std::vector<ReplaceItem> busy;
    for (const ReplaceItem& item : pending) {
      Step step = Replace(item, first, paths);
      if (step == Step::kBusy) busy.push_back(item);
      if (step == Step::kKept) kept.push_back(item);
    }
    pending.swap(busy);
    DWORD spent = ::GetTickCount() - start;
    if (pending.empty() || spent >= wait_ms) break;
    ::Sleep(delay < wait_ms - spent ? delay : wait_ms - spent);
    delay = delay * 2 < kMaxDelayMs ? delay * 2 : kMaxDelayMs;
  }
  for (const ReplaceItem& item : pending) {
    Log(paths, "still in use, kept for the next logon: " + item.target);
    kept.push_back(item);
  }
  // Lines added while we worked (an installation at logon) stay for the next run.
  std::string now;
  if (ReadList(paths.list, &now))
    for (const ReplaceItem& item : qm::ParseReplaceList(now).items)
      if (!Contains(list.items, item) && !Contains(kept, item)) kept.push_back(item);

  if (kept.empty()) {
    ClearReadOnly(paths.list);
    if (!::DeleteFileA(paths.list.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
      Log(paths, "all done, but the list cannot be removed (error " + std::to_string(::GetLastError()) + ")");
      return qm::RemovedResult::kListFailed;
    }
    Log(paths, "all done, list removed");
    return qm::RemovedResult::kOk;
  }
  if (!WriteList(paths.list, qm::FormatReplaceList(kept))) {
    Log(paths, "cannot rewrite " + paths.list + " (error " + std::to_string(::GetLastError()) + ")");
    ScheduleNextLogon(paths);
    return qm::RemovedResult::kListFailed;
  }
  Log(paths, std::to_string(kept.size()) + " lines left for the next logon");
  ScheduleNextLogon(paths);
  return qm::RemovedResult::kPending;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return qm::ToInt(Run(argc, argv));
  } catch (...) {
    return qm::ToInt(qm::RemovedResult::kListFailed);
  }
}

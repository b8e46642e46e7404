#include "components/runtime/common/daemon_log.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "base/win/scoped_handle.h"
#include "components/runtime/common/module_paths.h"

namespace qm {
namespace {

constexpr char kConfigFile[] = "\\conf\\qmlog.conf";
constexpr char kLogFolder[] = "\\log";

bool ReadNumber(const std::string& path, const char* key, long low, long high, long* out) {
  char text[32] = {};
  ::GetPrivateProfileStringA("log", key, "", text, sizeof(text), path.c_str());
  char* end = nullptr;
  long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < low || value > high) return false;
  *out = value;
  return true;
}

HANDLE OpenForAppend(const std::string& path) {
  return ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool WriteAll(HANDLE file, const std::string& text) {
  DWORD written = 0;
  return ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

std::string Stamped(const std::string& text) {
  SYSTEMTIME now;
  ::GetLocalTime(&now);
  char stamp[64];
  std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u [%lu] ", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond, ::GetCurrentProcessId());
  return stamp + text + "\r\n";
}

}  // namespace

LogSettings ReadLogSettings(const std::string& config_path) {
  LogSettings settings;
  if (::GetFileAttributesA(config_path.c_str()) == INVALID_FILE_ATTRIBUTES) return settings;
  long value = 0;
  if (ReadNumber(config_path, "Level", log_level::kOff, log_level::kDetail, &value)) settings.level = value;
  if (ReadNumber(config_path, "MaxSizeKB", 1, 65536, &value)) settings.max_bytes = value * 1024ul;
  return settings;
}

DaemonLog DaemonLogFor(const std::string& product_folder, const std::string& name) {
  DaemonLog log;
  log.path = product_folder + kLogFolder + "\\" + name + ".log";
  log.settings = ReadLogSettings(product_folder + kConfigFile);
  return log;
}

void AppendLogLine(const std::string& path, const std::string& text, unsigned long max_bytes) {
  ScopedHandle file(OpenForAppend(path));
  if (!file && ::GetLastError() == ERROR_PATH_NOT_FOUND) {
    ::CreateDirectoryA(FolderOf(path).c_str(), nullptr);
    file.Reset(OpenForAppend(path));
  }
  if (!file) return;
  std::string line = Stamped(text);
  DWORD size = ::GetFileSize(file.get(), nullptr);
  if (size != INVALID_FILE_SIZE && size + line.size() > max_bytes) {
    ::SetFilePointer(file.get(), 0, nullptr, FILE_BEGIN);
    ::SetEndOfFile(file.get());
    line = Stamped("log started afresh at its size limit") + line;
  }
  ::SetFilePointer(file.get(), 0, nullptr, FILE_END);
  WriteAll(file.get(), line);
}

void LogWrite(const DaemonLog& log, int level, const std::string& text) {
  if (level > log.settings.level || log.path.empty()) return;
  AppendLogLine(log.path, text, log.settings.max_bytes);
}

bool LogRemove(const DaemonLog& log) {
  bool gone = ::DeleteFileA(log.path.c_str()) || ::GetLastError() == ERROR_FILE_NOT_FOUND ||
              ::GetLastError() == ERROR_PATH_NOT_FOUND;
  // Removes only an empty folder: the other daemon's log keeps it until its own removal.
  ::RemoveDirectoryA(FolderOf(log.path).c_str());
  return gone;
}

}  // namespace qm

#include "engine/script/paths.h"

#include <cstdint>
#include <cstdio>

#include "base/ascii.h"
#include "base/fs.h"
#include "engine/log/log_text.h"
#include "engine/log/setup_log.h"

namespace qm {

bool IsAbsolutePath(const std::string& path) { return path.find(':') == 1 && path.find('\\') == 2; }

bool IsFolderRelativePath(const std::string& path) {
  auto separator = [](char c) { return c == '\\' || c == '/'; };
  auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (!path.empty() && separator(path[0])) return false;
  const bool rooted_on_drive = path.size() >= 3 && letter(path[0]) && path[1] == ':' && separator(path[2]);
  return !rooted_on_drive;
}

std::string CopySideFile(const std::string& target) {
  const size_t slash = target.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  uint32_t hash = 2166136261u;  // FNV-1a of the name, folded: the file system ignores case
  for (char c : target.substr(folder.size())) hash = (hash ^ static_cast<unsigned char>(AsciiLower(c))) * 16777619u;
  char name[16];
  std::snprintf(name, sizeof(name), "~qm%08x.new", static_cast<unsigned>(hash));
  const std::string side = folder + name;
  return side.size() < kPathBufferSize ? side : std::string();
}

std::string PathAsTested(const std::string& path) { return IsAbsolutePath(path) ? path : FsFullPath(path); }

bool PathFits(const std::string& path, const char* what) {
  if (path.size() < kPathBufferSize) return true;
  WriteLogLine(log_text::PathTooLong(what, path));
  return false;
}

std::string PathFolderOf(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(0, slash);
}

}  // namespace qm

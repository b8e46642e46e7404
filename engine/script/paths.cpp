#include "engine/script/paths.h"

#include "engine/log/setup_log.h"

namespace qm {

bool IsAbsolutePath(const std::string& path) { return path.find(':') == 1 && path.find('\\') == 2; }

bool PathFits(const std::string& path, const char* what) {
  if (path.size() < kPathBufferSize) return true;
  WriteLogLine(std::string(what) + " is longer than 259 characters: " + path);
  return false;
}

std::string PathFolderOf(const std::string& path) {
  size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(0, slash);
}

}  // namespace qm

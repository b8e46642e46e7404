#include <windows.h>

#include "engine/log/setup_log.h"

namespace qm {

std::string LogQueryWindowsFolder() {
  char folder[MAX_PATH] = {};
  UINT n = ::GetWindowsDirectoryA(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return std::string();
  return folder;
}

}  // namespace qm

#include "engine/core/platform.h"

#include <cstring>

namespace qm {

static_assert(sizeof(OSVERSIONINFOA) == 148, "the version record the engine passes is 148 bytes");

OSVERSIONINFOA PlatformQuery() {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  ::GetVersionExA(&info);  // result deliberately unused: zeros mean "other platform"
  return info;
}

bool PlatformIsNt(const OSVERSIONINFOA& info) { return info.dwPlatformId == VER_PLATFORM_WIN32_NT; }

bool PlatformMinorTest(const OSVERSIONINFOA& info) { return info.dwMinorVersion != 0; }

}  // namespace qm

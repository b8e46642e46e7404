#include "front/os_version.h"

#include <windows.h>

#include <cstring>

namespace qm {

FrontResult FrontDecideOsVersion(unsigned long platform_id, unsigned long major, unsigned long minor,
                                 const char* service_pack) {
  switch (platform_id) {
    case VER_PLATFORM_WIN32_WINDOWS:
      if (major != 4) return FrontResult::kOk;
      if (minor == 0) return FrontResult::kOsUnsupported;  // Windows 95
      if (minor == 10) {
        // Windows 98 only in its second edition, whose service-pack text reads " A".
        bool second_edition = service_pack && service_pack[0] != '\0' && service_pack[1] == 'A';
        return second_edition ? FrontResult::kOk : FrontResult::kOsUnsupported;
      }
      return FrontResult::kOk;
    case VER_PLATFORM_WIN32_NT:
      return (major == 5 || major == 6) ? FrontResult::kOk : FrontResult::kOsUnsupported;
    default:  // Win32s and anything unknown
      return FrontResult::kOsUnsupported;
  }
}

bool FrontRunsOnNt() {
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  return ::GetVersionExA(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

FrontResult CheckOsVersion() {
  OSVERSIONINFOEXA info;
  std::memset(&info, 0, sizeof(info));
  info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXA);
  if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
    std::memset(&info, 0, sizeof(info));
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!::GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) return FrontResult::kOk;
  }
  return FrontDecideOsVersion(info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, info.szCSDVersion);
}

}  // namespace qm

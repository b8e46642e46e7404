// Writing a device list the way the monitor interface asks for it.
#ifndef QM_COMPONENTS_RUNTIME_COMMON_DEVICE_LIST_H_
#define QM_COMPONENTS_RUNTIME_COMMON_DEVICE_LIST_H_

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "components/runtime/common/plugin_api.h"
#include "components/runtime/common/runtime_codes.h"

namespace qm {

// Each entry and its NUL, then the closing NUL, into |list|; or kBufferTooSmall with *needed.
inline PluginResult WriteDeviceList(const std::vector<std::string>& entries, char* list, DWORD size, DWORD* needed,
                                    DWORD* count) {
  std::string bytes;
  for (const std::string& entry : entries) bytes.append(entry).push_back('\0');
  bytes.push_back('\0');
  *needed = static_cast<DWORD>(bytes.size());
  *count = static_cast<DWORD>(entries.size());
  if (!list || size < bytes.size()) return PluginResult::kBufferTooSmall;
  std::memcpy(list, bytes.data(), bytes.size());
  return PluginResult::kOk;
}

// Copies |text| into a fixed field, cut to fit, always terminated.
inline void CopyField(char* field, size_t size, const char* text) {
  std::strncpy(field, text, size - 1);
  field[size - 1] = '\0';
}

// The body of a monitor's QmMonGetInfo.
inline PluginResult MonitorGetInfo(QmMonitorInfo* info, const char* kind) {
  if (!info || info->size < sizeof(QmMonitorInfo)) return PluginResult::kBadArgument;
  info->interface_version = kPluginInterfaceVersion;
  CopyField(info->kind, sizeof(info->kind), kind);
  return PluginResult::kOk;
}

// Runs a monitor's enumeration so that a failed allocation answers kFailed instead of leaving
// the export as an exception.
template <typename Enumerate>
PluginResult MonitorEnumerateGuarded(Enumerate enumerate) {
  try {
    return enumerate();
  } catch (...) {
    return PluginResult::kFailed;
  }
}

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_COMMON_DEVICE_LIST_H_

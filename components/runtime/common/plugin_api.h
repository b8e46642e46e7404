// What the daemons call in the device monitor libraries (<product folder>\slotmon\*.dll) and the
// token service provider libraries (<product folder>\tsp\*.dll): stdcall exports with plain
// names, narrow strings, records that start with their own size. Results: PluginResult.
#ifndef QM_COMPONENTS_RUNTIME_COMMON_PLUGIN_API_H_
#define QM_COMPONENTS_RUNTIME_COMMON_PLUGIN_API_H_

#include <windows.h>

extern "C" {

constexpr DWORD kPluginInterfaceVersion = 1;

struct QmMonitorInfo {
  DWORD size;               // set by the caller to sizeof(QmMonitorInfo)
  DWORD interface_version;  // kPluginInterfaceVersion
  char kind[16];            // "hid" or "pcsc"
};

// int __stdcall QmMonGetInfo(QmMonitorInfo* info)
using QmMonGetInfoFn = int(__stdcall*)(QmMonitorInfo* info);

// int __stdcall QmMonEnumerate(const char* filter, char* list, DWORD size, DWORD* needed, DWORD* count)
// Writes the present devices of the monitor's kind that match |filter| into |list|: one
// NUL-terminated entry each, then an empty one. hid: |filter| is "VVVV&PPPP;VVVV&PPPP..." (an
// empty filter matches nothing) and an entry reads "VVVV&PPPP <device path>". pcsc: |filter| is
// a part of a reader name to look for, empty for all, and an entry is a reader name.
// kBufferTooSmall: |list| is untouched and *needed is the size to pass.
using QmMonEnumerateFn = int(__stdcall*)(const char* filter, char* list, DWORD size, DWORD* needed, DWORD* count);

struct QmProviderInfo {
  DWORD size;  // set by the caller to sizeof(QmProviderInfo)
  DWORD interface_version;
  char model[16];         // the token model: "KX2", "RX90", "KX1"
  char monitor_kind[16];  // the monitor whose devices the provider reads: "hid"
};

// int __stdcall QmTspGetInfo(QmProviderInfo* info)
using QmTspGetInfoFn = int(__stdcall*)(QmProviderInfo* info);

// int __stdcall QmTspCountTokens(const char* devices, DWORD* count)
// |devices| is a list as QmMonEnumerate writes it; *count becomes the number of tokens of the
// provider's model found on them.
using QmTspCountTokensFn = int(__stdcall*)(const char* devices, DWORD* count);

}  // extern "C"

#endif  // QM_COMPONENTS_RUNTIME_COMMON_PLUGIN_API_H_

// hidmon.dll: the present HID devices with the USB identifiers asked for. SetupAPI is looked up
// at run time, so the library also loads where it is missing (Windows 95).
#include <windows.h>
// after windows.h, which it needs
#include <setupapi.h>

#include <string>
#include <vector>

#include "base/result.h"
#include "base/win/scoped_handle.h"
#include "components/runtime/common/device_list.h"
#include "components/runtime/common/plugin_api.h"
#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/hidreg/hid_text.h"

namespace {

using qm::PluginResult;

// GUID_DEVINTERFACE_HID, as HidD_GetHidGuid returns it.
const GUID kHidInterface = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};
constexpr char kMatchAll[] = "*";

using GetClassDevsFn = HDEVINFO(WINAPI*)(const GUID*, PCSTR, HWND, DWORD);
using EnumInterfacesFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD, PSP_DEVICE_INTERFACE_DATA);
using GetDetailFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA, PSP_DEVICE_INTERFACE_DETAIL_DATA_A, DWORD,
                                  PDWORD, PSP_DEVINFO_DATA);
using DestroyListFn = BOOL(WINAPI*)(HDEVINFO);

struct SetupApi {
  qm::ScopedModule module;
  GetClassDevsFn get_class_devs = nullptr;
  EnumInterfacesFn enum_interfaces = nullptr;
  GetDetailFn get_detail = nullptr;
  DestroyListFn destroy_list = nullptr;
};

bool LoadSetupApi(SetupApi* api) {
  api->module.Reset(::LoadLibraryA("setupapi.dll"));
  if (!api->module) return false;
  HMODULE m = api->module.get();
  api->get_class_devs = reinterpret_cast<GetClassDevsFn>(::GetProcAddress(m, "SetupDiGetClassDevsA"));
  api->enum_interfaces = reinterpret_cast<EnumInterfacesFn>(::GetProcAddress(m, "SetupDiEnumDeviceInterfaces"));
  api->get_detail = reinterpret_cast<GetDetailFn>(::GetProcAddress(m, "SetupDiGetDeviceInterfaceDetailA"));
  api->destroy_list = reinterpret_cast<DestroyListFn>(::GetProcAddress(m, "SetupDiDestroyDeviceInfoList"));
  return api->get_class_devs && api->enum_interfaces && api->get_detail && api->destroy_list;
}

// Owns a device information set; its destroy call comes from the library loaded above.
class DeviceInfoSet {
 public:
  DeviceInfoSet(HDEVINFO set, DestroyListFn destroy) : set_(set), destroy_(destroy) {}
  DeviceInfoSet(const DeviceInfoSet&) = delete;
  DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;
  ~DeviceInfoSet() {
    if (is_valid()) destroy_(set_);
  }
  bool is_valid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
  HDEVINFO get() const { return set_; }

 private:
  HDEVINFO set_;
  DestroyListFn destroy_;
};

bool ParseFilter(const std::string& filter, bool* all, std::vector<std::string>* pairs) {
  *all = filter == kMatchAll;
  if (*all || filter.empty()) return true;
  for (const std::string& field : qm::SplitFields(filter, ';')) {
    std::string pair;
    if (!qm::NormalizeVidPid(field, &pair)) return false;
    pairs->push_back(pair);
  }
  return true;
}

bool Wanted(const std::string& pair, bool all, const std::vector<std::string>& pairs) {
  if (all) return true;
  for (const std::string& wanted : pairs)
    if (wanted == pair) return true;
  return false;
}

PluginResult Enumerate(const char* filter, char* list, DWORD size, DWORD* needed, DWORD* count) {
  if (!filter || !needed || !count) return PluginResult::kBadArgument;
  bool all = false;
  std::vector<std::string> pairs;
  if (!ParseFilter(filter, &all, &pairs)) return PluginResult::kBadArgument;
  std::vector<std::string> entries;
  if (!all && pairs.empty()) return qm::WriteDeviceList(entries, list, size, needed, count);
  SetupApi api;
  if (!LoadSetupApi(&api)) return PluginResult::kUnavailable;
  DeviceInfoSet set(api.get_class_devs(&kHidInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE),
                    api.destroy_list);
  if (!set.is_valid()) return PluginResult::kFailed;
  SP_DEVICE_INTERFACE_DATA device = {};
  device.cbSize = sizeof(device);
  for (DWORD i = 0; api.enum_interfaces(set.get(), nullptr, &kHidInterface, i, &device); ++i) {
    DWORD detail_size = 0;
    api.get_detail(set.get(), &device, nullptr, 0, &detail_size, nullptr);
    if (detail_size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) continue;
    std::vector<char> buffer(detail_size + 1, '\0');
    auto detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!api.get_detail(set.get(), &device, detail, detail_size, nullptr, nullptr)) continue;
    std::string pair;
    if (qm::VidPidFromDevicePath(detail->DevicePath, &pair) && Wanted(pair, all, pairs))
      entries.push_back(pair + " " + detail->DevicePath);
  }
  return qm::WriteDeviceList(entries, list, size, needed, count);
}

}  // namespace

extern "C" int __stdcall QmMonGetInfo(QmMonitorInfo* info) { return qm::ToInt(qm::MonitorGetInfo(info, "hid")); }

// "*" matches every HID device, for diagnostics.
extern "C" int __stdcall QmMonEnumerate(const char* filter, char* list, DWORD size, DWORD* needed, DWORD* count) {
  return qm::ToInt(qm::MonitorEnumerateGuarded([&] { return Enumerate(filter, list, size, needed, count); }));
}

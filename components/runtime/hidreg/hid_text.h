// The texts of the HID device records: what the setup script passes to the HID registry helper,
// and the USB identifiers in a device path. Portable: no windows.h.
#ifndef QM_COMPONENTS_RUNTIME_HIDREG_HID_TEXT_H_
#define QM_COMPONENTS_RUNTIME_HIDREG_HID_TEXT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "components/runtime/common/runtime_codes.h"

namespace qm {

// "PRODUCT_NUM;PRODUCT_GUID;MONITOR_ID;VID&PID;READ_NUM"
struct HidDeviceEntry {
  uint32_t product_num = 0;
  std::string product_guid;  // a key name
  std::string monitor_id;    // a key name
  std::string vid_pid;       // "VVVV&PPPP", upper case
  uint32_t read_num = 0;
};

// "PRODUCT_GUID;PRODUCT_NUM"
struct HidProductRef {
  std::string product_guid;
  uint32_t product_num = 0;
};

// |out| is set only on kOk.
HidRegResult ParseHidDeviceEntry(const char* text, HidDeviceEntry* out);
HidRegResult ParseHidProductRef(const char* text, HidProductRef* out);

// |text| cut at every |separator|, empty pieces kept ("a;;b" has three, "" one).
std::vector<std::string> SplitFields(const std::string& text, char separator);

// Four hex digits, "&", four hex digits, in either case: true and |out| in upper case.
bool NormalizeVidPid(const std::string& text, std::string* out);

// The "vid_XXXX&pid_YYYY" part of a device path such as
// "\\?\hid#vid_096e&pid_0703&mi_00#7&1a2b&0&0000#{4d1e55b2-...}", any case: true and "XXXX&YYYY".
bool VidPidFromDevicePath(const std::string& path, std::string* vid_pid);

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_HIDREG_HID_TEXT_H_

// The HID device records under HKLM\Software\QMHid\<product GUID>\<monitor id>: written and
// removed by the HID registry helper, read by the daemons to know which devices are ours.
#ifndef QM_COMPONENTS_RUNTIME_HIDREG_HID_STORE_H_
#define QM_COMPONENTS_RUNTIME_HIDREG_HID_STORE_H_

#include <windows.h>

#include <string>
#include <vector>

#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/hidreg/hid_text.h"

namespace qm {

constexpr char kHidRootKey[] = "Software\\QMHid";

struct HidRecord {
  std::string product_guid;
  std::string monitor_id;
  std::string vid_pid;
  DWORD read_num = 0;
  DWORD product_num = 0;
};

// Creates or overwrites the entry's key and its values "VidPid" (REG_SZ), "ReadNum" and
// "ProductNum" (REG_DWORD).
HidRegResult HidStoreWrite(const HidDeviceEntry& entry);
// Removes the product's entries whose ProductNum matches, then the product's key and the root
// key when they are left empty. Nothing to remove is success.
HidRegResult HidStoreDelete(const HidProductRef& product);
// Every readable record, in key order; a key without a valid "VidPid" is passed over.
std::vector<HidRecord> HidStoreRead();
// The distinct VID&PID pairs of |records|, joined by ";" (a hid monitor's filter).
std::string HidFilter(const std::vector<HidRecord>& records);

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_HIDREG_HID_STORE_H_

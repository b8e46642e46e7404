// qmhidreg.dll: records the product's HID devices for the daemons, called by the setup script.
// The export names are spelled as the script calls them.
#include <windows.h>

#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/hidreg/hid_store.h"
#include "components/runtime/hidreg/hid_text.h"

namespace {

template <typename Work>
int Guard(Work work) {
  try {
    return work();
  } catch (...) {
    return qm::hidreg_code::kInternal;
  }
}

}  // namespace

// "PRODUCT_NUM;PRODUCT_GUID;MONITOR_ID;VID&PID;READ_NUM". A malformed text changes nothing.
extern "C" int __stdcall WirteRegForHidDeivice(const char* text) {
  return Guard([&] {
    qm::HidDeviceEntry entry;
    int parsed = qm::ParseHidDeviceEntry(text, &entry);
    return parsed != qm::hidreg_code::kOk ? parsed : qm::HidStoreWrite(entry);
  });
}

// "PRODUCT_GUID;PRODUCT_NUM".
extern "C" int __stdcall DeleteRegForHidDeivice(const char* text) {
  return Guard([&] {
    qm::HidProductRef product;
    int parsed = qm::ParseHidProductRef(text, &product);
    return parsed != qm::hidreg_code::kOk ? parsed : qm::HidStoreDelete(product);
  });
}

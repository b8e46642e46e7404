// qmhidreg.dll: records the product's HID devices for the daemons, called by the setup script.
// The export names are spelled as the script calls them.
#include <windows.h>

#include "base/result.h"
#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/hidreg/hid_store.h"
#include "components/runtime/hidreg/hid_text.h"

namespace {

using qm::HidRegResult;

// The export's int; a failed allocation answers kInternal instead of leaving the export.
template <typename Work>
int Guard(Work work) {
  try {
    return qm::ToInt(work());
  } catch (...) {
    return qm::ToInt(HidRegResult::kInternal);
  }
}

}  // namespace

// "PRODUCT_NUM;PRODUCT_GUID;MONITOR_ID;VID&PID;READ_NUM". A malformed text changes nothing.
extern "C" int __stdcall WirteRegForHidDeivice(const char* text) {
  return Guard([&]() -> HidRegResult {
    qm::HidDeviceEntry entry;
    QM_RETURN_IF_FAILED(qm::ParseHidDeviceEntry(text, &entry));
    return qm::HidStoreWrite(entry);
  });
}

// "PRODUCT_GUID;PRODUCT_NUM".
extern "C" int __stdcall DeleteRegForHidDeivice(const char* text) {
  return Guard([&]() -> HidRegResult {
    qm::HidProductRef product;
    QM_RETURN_IF_FAILED(qm::ParseHidProductRef(text, &product));
    return qm::HidStoreDelete(product);
  });
}

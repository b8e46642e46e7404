#include "components/runtime/hidreg/hid_store.h"

#include <algorithm>

#include "base/win/reg_key.h"
#include "components/runtime/common/runtime_codes.h"

namespace qm {
namespace {

constexpr char kVidPid[] = "VidPid";
constexpr char kReadNum[] = "ReadNum";
constexpr char kProductNum[] = "ProductNum";

std::vector<std::string> SubKeyNames(const RegKey& key) {
  std::vector<std::string> names;
  char name[MAX_PATH];
  for (DWORD i = 0; ::RegEnumKeyA(key.get(), i, name, MAX_PATH) == ERROR_SUCCESS; ++i) names.push_back(name);
  return names;
}

bool IsEmpty(const RegKey& key) { return !key.HasAnySubKey() && !key.HasAnyValue(); }

}  // namespace

HidRegResult HidStoreWrite(const HidDeviceEntry& entry) {
  std::string path = std::string(kHidRootKey) + "\\" + entry.product_guid + "\\" + entry.monitor_id;
  RegKey existing;
  bool existed = existing.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_QUERY_VALUE) == ERROR_SUCCESS;
  existing.Close();
  RegKey key;
  if (key.Create(HKEY_LOCAL_MACHINE, path.c_str()) != ERROR_SUCCESS) return HidRegResult::kRegistryFailed;
  if (key.WriteString(kVidPid, entry.vid_pid) == ERROR_SUCCESS &&
      key.WriteDword(kReadNum, entry.read_num) == ERROR_SUCCESS &&
      key.WriteDword(kProductNum, entry.product_num) == ERROR_SUCCESS)
    return HidRegResult::kOk;
  key.Close();
  // A half-written new entry would be read as a device of ours; take it away again.
  if (!existed) HidStoreDelete({entry.product_guid, entry.product_num});
  return HidRegResult::kRegistryFailed;
}

HidRegResult HidStoreDelete(const HidProductRef& product) {
  RegKey root;
  LONG status = root.Open(HKEY_LOCAL_MACHINE, kHidRootKey, KEY_ALL_ACCESS);
  if (status == ERROR_FILE_NOT_FOUND) return HidRegResult::kOk;
  if (status != ERROR_SUCCESS) return HidRegResult::kRegistryFailed;
  HidRegResult result = HidRegResult::kOk;
  RegKey guid;
  status = guid.Open(root.get(), product.product_guid.c_str(), KEY_ALL_ACCESS);
  if (status == ERROR_SUCCESS) {
    for (const std::string& name : SubKeyNames(guid)) {
      RegKey monitor;
      DWORD number = 0;
      if (monitor.Open(guid.get(), name.c_str(), KEY_QUERY_VALUE) != ERROR_SUCCESS) continue;
      if (monitor.ReadDword(kProductNum, &number) != ERROR_SUCCESS || number != product.product_num) continue;
      monitor.Close();
      if (guid.DeleteSubKey(name.c_str()) != ERROR_SUCCESS) result = HidRegResult::kRegistryFailed;
    }
    bool empty = IsEmpty(guid);
    guid.Close();
    if (empty && root.DeleteSubKey(product.product_guid.c_str()) != ERROR_SUCCESS)
      result = HidRegResult::kRegistryFailed;
  } else if (status != ERROR_FILE_NOT_FOUND) {
    result = HidRegResult::kRegistryFailed;
  }
  bool root_empty = IsEmpty(root);
  root.Close();
  if (root_empty) {
    RegKey software;
    if (software.Open(HKEY_LOCAL_MACHINE, "Software", KEY_ALL_ACCESS) != ERROR_SUCCESS ||
        software.DeleteSubKey("QMHid") != ERROR_SUCCESS)
      result = HidRegResult::kRegistryFailed;
  }
  return result;
}

std::vector<HidRecord> HidStoreRead() {
  std::vector<HidRecord> records;
  RegKey root;
  if (root.Open(HKEY_LOCAL_MACHINE, kHidRootKey, KEY_READ) != ERROR_SUCCESS) return records;
  for (const std::string& guid_name : SubKeyNames(root)) {
    RegKey guid;
    if (guid.Open(root.get(), guid_name.c_str(), KEY_READ) != ERROR_SUCCESS) continue;
    for (const std::string& monitor_name : SubKeyNames(guid)) {
      RegKey monitor;
      HidRecord record;
      std::string vid_pid;
      if (monitor.Open(guid.get(), monitor_name.c_str(), KEY_QUERY_VALUE) != ERROR_SUCCESS) continue;
      if (monitor.ReadString(kVidPid, &vid_pid) != ERROR_SUCCESS || !NormalizeVidPid(vid_pid, &record.vid_pid))
        continue;
      monitor.ReadDword(kReadNum, &record.read_num);
      monitor.ReadDword(kProductNum, &record.product_num);
      record.product_guid = guid_name;
      record.monitor_id = monitor_name;
      records.push_back(record);
    }
  }
  return records;
}

std::string HidFilter(const std::vector<HidRecord>& records) {
  std::vector<std::string> pairs;
  for (const HidRecord& record : records)
    if (std::find(pairs.begin(), pairs.end(), record.vid_pid) == pairs.end()) pairs.push_back(record.vid_pid);
  std::string filter;
  for (const std::string& pair : pairs) filter += (filter.empty() ? "" : ";") + pair;
  return filter;
}

}  // namespace qm

#include "components/runtime/slotd/slot_watch.h"

#include <algorithm>
#include <vector>

#include "base/result.h"
#include "base/win/scoped_handle.h"
#include "components/runtime/common/daemon_cli.h"
#include "components/runtime/common/plugins.h"
#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/hidreg/hid_store.h"

namespace qm {
namespace {

std::string DescribeRecords(const std::vector<HidRecord>& records) {
  if (records.empty()) return "no recorded devices; watching readers only";
  std::string text = "watching";
  for (const HidRecord& record : records)
    text += " " + record.vid_pid + " (" + record.product_guid + "\\" + record.monitor_id + ")";
  return text;
}

// "hid 096E&0703 \\?\hid#..." or "pcsc Reader 0", sorted. A monitor that cannot look is reported
// once, when it first fails, and what it saw before counts as still there.
std::vector<std::string> PresentDevices(const Plugins& plugins, const std::string& hid_filter,
                                        const std::vector<std::string>& before, std::vector<bool>* failing,
                                        const DaemonLog& log) {
  std::vector<std::string> devices;
  for (size_t i = 0; i < plugins.monitors.size(); ++i) {
    const Monitor& monitor = plugins.monitors[i];
    if (monitor.kind == "hid" && hid_filter.empty()) continue;
    std::string list;
    const PluginResult result = MonitorList(monitor, monitor.kind == "hid" ? hid_filter : std::string(), &list);
    if (result != PluginResult::kOk) {
      if (!(*failing)[i])
        LogWrite(log, log_level::kEvents,
                 monitor.file + (result == PluginResult::kUnavailable
                                     ? ": not available on this system"
                                     : ": failed (" + std::to_string(ToInt(result)) + ")"));
      (*failing)[i] = true;
      for (const std::string& device : before)
        if (device.compare(0, monitor.kind.size() + 1, monitor.kind + " ") == 0) devices.push_back(device);
      continue;
    }
    (*failing)[i] = false;
    for (const std::string& entry : ListEntries(list)) devices.push_back(monitor.kind + " " + entry);
  }
  std::sort(devices.begin(), devices.end());
  return devices;
}

}  // namespace

DWORD SlotWatchRun(HANDLE stop, void* context) {
  const SlotWatch& watch = *static_cast<const SlotWatch*>(context);
  const DaemonLog& log = watch.log;
  LogWrite(log, log_level::kEvents, "service started");
  Plugins plugins = LoadPlugins(watch.product_folder);
  LogWrite(log, log_level::kEvents, DescribePlugins(plugins));
  for (const std::string& problem : plugins.problems) LogWrite(log, log_level::kErrors, problem);
  ScopedHandle change(::CreateEventA(nullptr, FALSE, FALSE, kSlotChangeEvent));
  std::vector<bool> failing(plugins.monitors.size(), false);
  std::vector<std::string> present;
  std::string filter;
  bool first = true;
  for (;;) {
    std::vector<HidRecord> records = HidStoreRead();
    std::string now_filter = HidFilter(records);
    if (first || now_filter != filter) LogWrite(log, log_level::kEvents, DescribeRecords(records));
    filter = now_filter;
    first = false;
    std::vector<std::string> devices = PresentDevices(plugins, filter, present, &failing, log);
    bool changed = false;
    for (const std::string& device : devices)
      if (!std::binary_search(present.begin(), present.end(), device)) {
        LogWrite(log, log_level::kEvents, "arrived: " + device);
        changed = true;
      }
    for (const std::string& device : present)
      if (!std::binary_search(devices.begin(), devices.end(), device)) {
        LogWrite(log, log_level::kEvents, "left: " + device);
        changed = true;
      }
    present = devices;
    if (changed) {
      LogWrite(log, log_level::kEvents, "tokens present: " + std::to_string(CountTokens(plugins, filter)));
      if (change) ::SetEvent(change.get());
    }
    LogWrite(log, log_level::kDetail, "scan: " + std::to_string(devices.size()) + " devices");
    if (::WaitForSingleObject(stop, kScanPeriodMs) != WAIT_TIMEOUT) break;
  }
  LogWrite(log, log_level::kEvents, "service stopped");
  return NO_ERROR;
}

}  // namespace qm

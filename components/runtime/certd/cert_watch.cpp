#include "components/runtime/certd/cert_watch.h"

#include "base/win/scoped_handle.h"
#include "components/runtime/common/daemon_cli.h"
#include "components/runtime/common/plugins.h"
#include "components/runtime/hidreg/hid_store.h"

namespace qm {

DWORD CertWatchRun(HANDLE stop, void* context) {
  const CertWatch& watch = *static_cast<const CertWatch*>(context);
  const DaemonLog& log = watch.log;
  LogWrite(log, log_level::kEvents, "service started");
  Plugins plugins = LoadPlugins(watch.product_folder);
  LogWrite(log, log_level::kEvents, DescribePlugins(plugins));
  for (const std::string& problem : plugins.problems) LogWrite(log, log_level::kErrors, problem);
  ScopedHandle slot_change(::CreateEventA(nullptr, FALSE, FALSE, kSlotChangeEvent));
  if (!slot_change)
    LogWrite(log, log_level::kErrors, "no slot events (error " + std::to_string(::GetLastError()) + ")");
  LogWrite(log, log_level::kEvents, "waiting for token events");
  HANDLE waits[2] = {stop, slot_change.get()};
  DWORD count = slot_change ? 2 : 1;
  while (::WaitForMultipleObjects(count, waits, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    DWORD tokens = CountTokens(plugins, HidFilter(HidStoreRead()));
    LogWrite(log, log_level::kEvents, "token event: " + std::to_string(tokens) + " tokens present");
  }
  LogWrite(log, log_level::kEvents, "service stopped");
  return NO_ERROR;
}

DWORD CertRefresh(const CertWatch& watch) {
  Plugins plugins = LoadPlugins(watch.product_folder);
  for (const std::string& problem : plugins.problems) LogWrite(watch.log, log_level::kErrors, problem);
  DWORD tokens = CountTokens(plugins, HidFilter(HidStoreRead()));
  LogWrite(watch.log, log_level::kEvents,
           "refresh: " + std::to_string(tokens) + " tokens present, 0 certificates copied");
  return tokens;
}

}  // namespace qm

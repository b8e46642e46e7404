// The slot daemon's work as a service: watch for the recorded HID devices (and smart-card
// readers) arriving and leaving, log them and tell the certificate daemon.
#ifndef QM_COMPONENTS_RUNTIME_SLOTD_SLOT_WATCH_H_
#define QM_COMPONENTS_RUNTIME_SLOTD_SLOT_WATCH_H_

#include <windows.h>

#include <string>

#include "components/runtime/common/daemon_log.h"

namespace qm {

// Devices are looked for once per period; between scans the daemon only waits.
constexpr DWORD kScanPeriodMs = 2000;

struct SlotWatch {
  std::string product_folder;
  DaemonLog log;
};

// A ServiceBody run function; |context| is a SlotWatch.
DWORD SlotWatchRun(HANDLE stop, void* context);

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_SLOTD_SLOT_WATCH_H_

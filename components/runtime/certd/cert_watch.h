// The certificate daemon's work: as a service, wait for the slot daemon's token events; from the
// command line, count the present tokens whose certificates the user's store should hold.
#ifndef QM_COMPONENTS_RUNTIME_CERTD_CERT_WATCH_H_
#define QM_COMPONENTS_RUNTIME_CERTD_CERT_WATCH_H_

#include <windows.h>

#include <string>

#include "components/runtime/common/daemon_log.h"

namespace qm {

struct CertWatch {
  std::string product_folder;
  DaemonLog log;
};

// A ServiceBody run function; |context| is a CertWatch. Blocks on the stop and slot events only.
DWORD CertWatchRun(HANDLE stop, void* context);

// The -r run: asks every provider about the devices of its monitor and logs the result. The
// providers read no certificates yet, so nothing is copied; returns the tokens found.
DWORD CertRefresh(const CertWatch& watch);

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_CERTD_CERT_WATCH_H_

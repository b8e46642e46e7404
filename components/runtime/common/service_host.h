// Running as a Win32 service of its own process: reports START_PENDING, RUNNING, STOP_PENDING and
// STOPPED, and answers STOP, SHUTDOWN and INTERROGATE.
#ifndef QM_COMPONENTS_RUNTIME_COMMON_SERVICE_HOST_H_
#define QM_COMPONENTS_RUNTIME_COMMON_SERVICE_HOST_H_

#include <windows.h>

#include "components/runtime/common/runtime_codes.h"

namespace qm {

// The switch in the service's command line that makes the program run as the service.
constexpr char kServiceSwitch[] = "--service";

struct ServiceBody {
  const char* name;
  // The service's work: returns soon after |stop| (a manual-reset event) is signalled. Its
  // result is reported as the service's exit code (0 or a Win32 error).
  DWORD (*run)(HANDLE stop, void* context);
  void* context;
};

// Hands the process to the service manager until the service has stopped. kNotUnderManager when
// the program was not started by the manager.
DaemonResult ServiceHostRun(const ServiceBody& body);

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_COMMON_SERVICE_HOST_H_

// The service manager side of the daemons' switches: install, start, stop and delete a service,
// each waiting (bounded) for the state it asks for.
#ifndef QM_COMPONENTS_RUNTIME_COMMON_SERVICE_CONTROL_H_
#define QM_COMPONENTS_RUNTIME_COMMON_SERVICE_CONTROL_H_

#include <windows.h>

#include <string>

#include "components/runtime/common/runtime_codes.h"

namespace qm {

constexpr DWORD kServiceWaitMs = 30000;

struct ServiceConfig {
  std::string name;
  std::string display_name;
  std::string description;
  std::string command_line;  // quoted program path and the service switch
  DWORD start_type = SERVICE_AUTO_START;
};

struct ServiceOutcome {
  DaemonResult code = DaemonResult::kOk;
  bool already = false;  // nothing to do: the service was already in that state
  DWORD error = 0;       // Win32 error of the step that failed
};

// An existing service keeps its account and dependencies; its program, start type, names and
// description are set again, so a repair points it at the program that ran -i.
ServiceOutcome ServiceInstall(const ServiceConfig& config);
// Returns once the service reports RUNNING; kStartFailed when it stops instead.
ServiceOutcome ServiceStart(const std::string& name, DWORD timeout_ms);
// Returns once the service reports STOPPED and its process has ended.
ServiceOutcome ServiceStop(const std::string& name, DWORD timeout_ms);
// Stops a running service first.
ServiceOutcome ServiceDelete(const std::string& name, DWORD timeout_ms);

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_COMMON_SERVICE_CONTROL_H_

#include "components/runtime/common/service_host.h"

#include "base/win/scoped_handle.h"
#include "components/runtime/common/runtime_codes.h"

namespace qm {
namespace {

constexpr DWORD kPendingWaitHintMs = 5000;

// One service per process: the manager's callbacks take no context, so the host is global.
struct Host {
  ServiceBody body = {};
  SERVICE_STATUS_HANDLE status_handle = nullptr;
  SERVICE_STATUS status = {};
  CRITICAL_SECTION lock;
  HANDLE stop = nullptr;  // closed only after the dispatcher returns: a late control may still set it
};

Host g_host;

void Report(DWORD state, DWORD exit_code) {
  ::EnterCriticalSection(&g_host.lock);
  SERVICE_STATUS& status = g_host.status;
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWin32ExitCode = exit_code;
  status.dwServiceSpecificExitCode = 0;
  bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
  status.dwCheckPoint = pending ? status.dwCheckPoint + 1 : 0;
  status.dwWaitHint = pending ? kPendingWaitHintMs : 0;
  if (g_host.status_handle) ::SetServiceStatus(g_host.status_handle, &status);
  ::LeaveCriticalSection(&g_host.lock);
}

void WINAPI Control(DWORD control) {
  switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
      Report(SERVICE_STOP_PENDING, NO_ERROR);
      ::SetEvent(g_host.stop);
      break;
    case SERVICE_CONTROL_INTERROGATE:
    default:
      ::EnterCriticalSection(&g_host.lock);
      if (g_host.status_handle) ::SetServiceStatus(g_host.status_handle, &g_host.status);
      ::LeaveCriticalSection(&g_host.lock);
      break;
  }
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  g_host.status_handle = ::RegisterServiceCtrlHandlerA(g_host.body.name, Control);
  if (!g_host.status_handle) return;
  Report(SERVICE_START_PENDING, NO_ERROR);
  DWORD exit_code = NO_ERROR;
  try {
    Report(SERVICE_RUNNING, NO_ERROR);
    exit_code = g_host.body.run(g_host.stop, g_host.body.context);
  } catch (...) {
    exit_code = ERROR_NOT_ENOUGH_MEMORY;  // what the work can throw: std::bad_alloc
  }
  Report(SERVICE_STOP_PENDING, NO_ERROR);
  Report(SERVICE_STOPPED, exit_code);
}

}  // namespace

DaemonResult ServiceHostRun(const ServiceBody& body) {
  ScopedHandle stop(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!stop) return DaemonResult::kInternal;
  ::InitializeCriticalSection(&g_host.lock);
  g_host.body = body;
  g_host.stop = stop.get();
  SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(body.name), ServiceMain}, {nullptr, nullptr}};
  bool dispatched = ::StartServiceCtrlDispatcherA(table) != FALSE;
  g_host.stop = nullptr;
  ::DeleteCriticalSection(&g_host.lock);
  return dispatched ? DaemonResult::kOk : DaemonResult::kNotUnderManager;
}

}  // namespace qm

#include "components/runtime/common/service_control.h"

#include "base/win/scoped_handle.h"
#include "components/runtime/common/runtime_codes.h"

namespace qm {
namespace {

// A service usually changes state within a few tens of milliseconds: poll quickly at first, then
// back off so that a slow one is not asked ten times a second for long.
constexpr DWORD kQuickPollMs = 10;
constexpr DWORD kQuickPollingMs = 500;
constexpr DWORD kPollMs = 100;
// After STOPPED the process still has to return from its dispatcher and exit.
constexpr DWORD kProcessExitWaitMs = 5000;

// Windows 2000 and later; looked up so that the programs still load on Windows 98.
using ChangeServiceConfig2Fn = BOOL(WINAPI*)(SC_HANDLE, DWORD, LPVOID);
using QueryServiceStatusExFn = BOOL(WINAPI*)(SC_HANDLE, int, LPBYTE, DWORD, LPDWORD);
constexpr DWORD kConfigDescription = 1;  // SERVICE_CONFIG_DESCRIPTION
constexpr int kStatusProcessInfo = 0;    // SC_STATUS_PROCESS_INFO

FARPROC Advapi32(const char* name) {
  HMODULE advapi = ::GetModuleHandleA("advapi32.dll");
  return advapi ? ::GetProcAddress(advapi, name) : nullptr;
}

ServiceOutcome Failed(DaemonResult code, DWORD error) {
  ServiceOutcome outcome;
  outcome.code = code;
  outcome.error = error;
  return outcome;
}

ServiceOutcome Done(bool already) {
  ServiceOutcome outcome;
  outcome.already = already;
  return outcome;
}

// The manager, or the reason there is none: Windows 98 exports the calls as failing stubs.
ServiceOutcome OpenManager(DWORD access, ScopedServiceHandle* manager) {
  manager->Reset(::OpenSCManagerA(nullptr, nullptr, access));
  if (manager->is_valid()) return Done(false);
  DWORD error = ::GetLastError();
  return Failed(error == ERROR_CALL_NOT_IMPLEMENTED ? DaemonResult::kNoServices : DaemonResult::kManagerFailed, error);
}

bool QueryState(SC_HANDLE service, SERVICE_STATUS* status) { return ::QueryServiceStatus(service, status) != FALSE; }

// Polls until the state is |wanted|, the service stops (when that is not what we wait for) or
// the time is up. Returns the last state seen, 0 when it could not be read.
DWORD WaitForState(SC_HANDLE service, DWORD wanted, DWORD timeout_ms, SERVICE_STATUS* status) {
  DWORD start = ::GetTickCount();
  for (;;) {
    if (!QueryState(service, status)) return 0;
    if (status->dwCurrentState == wanted || status->dwCurrentState == SERVICE_STOPPED) return status->dwCurrentState;
    const DWORD spent = ::GetTickCount() - start;
    if (spent >= timeout_ms) return status->dwCurrentState;
    ::Sleep(spent < kQuickPollingMs ? kQuickPollMs : kPollMs);
  }
}

DWORD ServiceProcessId(SC_HANDLE service) {
  auto query = reinterpret_cast<QueryServiceStatusExFn>(Advapi32("QueryServiceStatusEx"));
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!query || !query(service, kStatusProcessInfo, reinterpret_cast<LPBYTE>(&status), sizeof(status), &needed))
    return 0;
  return status.dwProcessId;
}

void SetDescription(SC_HANDLE service, const std::string& description) {
  auto change = reinterpret_cast<ChangeServiceConfig2Fn>(Advapi32("ChangeServiceConfig2A"));
  if (!change) return;
  SERVICE_DESCRIPTIONA text = {const_cast<char*>(description.c_str())};
  change(service, kConfigDescription, &text);
}

ServiceOutcome StopOpened(SC_HANDLE service, DWORD timeout_ms) {
  DWORD start = ::GetTickCount();
  SERVICE_STATUS status = {};
  if (!QueryState(service, &status)) return Failed(DaemonResult::kStopFailed, ::GetLastError());
  if (status.dwCurrentState == SERVICE_STOPPED) return Done(true);
  // Held before the stop, so that we can see the process end after it reports STOPPED.
  ScopedHandle process;
  if (DWORD pid = ServiceProcessId(service)) process.Reset(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  if (status.dwCurrentState == SERVICE_START_PENDING) WaitForState(service, SERVICE_RUNNING, timeout_ms, &status);
  if (status.dwCurrentState != SERVICE_STOP_PENDING && status.dwCurrentState != SERVICE_STOPPED &&
      !::ControlService(service, SERVICE_CONTROL_STOP, &status)) {
    DWORD error = ::GetLastError();
    if (error != ERROR_SERVICE_NOT_ACTIVE) return Failed(DaemonResult::kStopFailed, error);
  }
  DWORD spent = ::GetTickCount() - start;
  DWORD state = WaitForState(service, SERVICE_STOPPED, timeout_ms > spent ? timeout_ms - spent : 0, &status);
  if (state != SERVICE_STOPPED) return Failed(DaemonResult::kTimedOut, ERROR_SERVICE_REQUEST_TIMEOUT);
  if (process && ::WaitForSingleObject(process.get(), kProcessExitWaitMs) != WAIT_OBJECT_0)
    return Failed(DaemonResult::kTimedOut, ERROR_SERVICE_REQUEST_TIMEOUT);
  return Done(false);
}

}  // namespace

ServiceOutcome ServiceInstall(const ServiceConfig& config) {
  ScopedServiceHandle manager;
  ServiceOutcome opened = OpenManager(SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE, &manager);
  if (opened.code != DaemonResult::kOk) return opened;
  ScopedServiceHandle service(::CreateServiceA(manager.get(), config.name.c_str(), config.display_name.c_str(),
                                               SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, config.start_type,
                                               SERVICE_ERROR_NORMAL, config.command_line.c_str(), nullptr, nullptr,
                                               nullptr, nullptr, nullptr));
  bool existed = false;
  if (!service) {
    DWORD error = ::GetLastError();
    if (error != ERROR_SERVICE_EXISTS) return Failed(DaemonResult::kInstallFailed, error);
    existed = true;
    service.Reset(::OpenServiceA(manager.get(), config.name.c_str(), SERVICE_CHANGE_CONFIG));
    if (!service) return Failed(DaemonResult::kInstallFailed, ::GetLastError());
    if (!::ChangeServiceConfigA(service.get(), SERVICE_NO_CHANGE, config.start_type, SERVICE_NO_CHANGE,
                                config.command_line.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                config.display_name.c_str()))
      return Failed(DaemonResult::kInstallFailed, ::GetLastError());
  }
  SetDescription(service.get(), config.description);
  return Done(existed);
}

ServiceOutcome ServiceStart(const std::string& name, DWORD timeout_ms) {
  ScopedServiceHandle manager;
  ServiceOutcome opened = OpenManager(SC_MANAGER_CONNECT, &manager);
  if (opened.code != DaemonResult::kOk) return opened;
  ScopedServiceHandle service(::OpenServiceA(manager.get(), name.c_str(), SERVICE_START | SERVICE_QUERY_STATUS));
  if (!service) {
    DWORD error = ::GetLastError();
    return Failed(error == ERROR_SERVICE_DOES_NOT_EXIST ? DaemonResult::kNotInstalled : DaemonResult::kStartFailed,
                  error);
  }
  bool already = false;
  if (!::StartServiceA(service.get(), 0, nullptr)) {
    DWORD error = ::GetLastError();
    if (error != ERROR_SERVICE_ALREADY_RUNNING) return Failed(DaemonResult::kStartFailed, error);
    already = true;
  }
  SERVICE_STATUS status = {};
  DWORD state = WaitForState(service.get(), SERVICE_RUNNING, timeout_ms, &status);
  if (state == SERVICE_RUNNING) return Done(already);
  if (state == SERVICE_STOPPED) {
    DWORD error = status.dwWin32ExitCode == ERROR_SERVICE_SPECIFIC_ERROR ? status.dwServiceSpecificExitCode
                                                                         : status.dwWin32ExitCode;
    return Failed(DaemonResult::kStartFailed, error);
  }
  return Failed(DaemonResult::kTimedOut, state == 0 ? ::GetLastError() : ERROR_SERVICE_REQUEST_TIMEOUT);
}

ServiceOutcome ServiceStop(const std::string& name, DWORD timeout_ms) {
  ScopedServiceHandle manager;
  ServiceOutcome opened = OpenManager(SC_MANAGER_CONNECT, &manager);
  if (opened.code != DaemonResult::kOk) return opened;
  ScopedServiceHandle service(::OpenServiceA(manager.get(), name.c_str(), SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!service) {
    DWORD error = ::GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) return Done(true);
    return Failed(DaemonResult::kStopFailed, error);
  }
  return StopOpened(service.get(), timeout_ms);
}

ServiceOutcome ServiceDelete(const std::string& name, DWORD timeout_ms) {
  ScopedServiceHandle manager;
  ServiceOutcome opened = OpenManager(SC_MANAGER_CONNECT, &manager);
  if (opened.code != DaemonResult::kOk) return opened;
  ScopedServiceHandle service(
      ::OpenServiceA(manager.get(), name.c_str(), DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!service) {
    DWORD error = ::GetLastError();
    if (error == ERROR_SERVICE_DOES_NOT_EXIST) return Done(true);
    return Failed(DaemonResult::kDeleteFailed, error);
  }
  ServiceOutcome stopped = StopOpened(service.get(), timeout_ms);
  if (stopped.code != DaemonResult::kOk) return stopped;
  if (!::DeleteService(service.get())) {
    DWORD error = ::GetLastError();
    if (error == ERROR_SERVICE_MARKED_FOR_DELETE) return Done(true);
    return Failed(DaemonResult::kDeleteFailed, error);
  }
  return Done(false);
}

}  // namespace qm

// standin_service.exe NAME: a service that does nothing but run until it is stopped. The tests
// register it as a service the system lacks under Wine (the smart-card service the slot daemon
// depends on).
#include <windows.h>

namespace {

char* g_name = nullptr;
SERVICE_STATUS_HANDLE g_status_handle = nullptr;
HANDLE g_stop = nullptr;

void Report(DWORD state) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  ::SetServiceStatus(g_status_handle, &status);
}

void WINAPI Control(DWORD control) {
  if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
    Report(SERVICE_STOP_PENDING);
    ::SetEvent(g_stop);
  }
}

void WINAPI ServiceMain(DWORD, LPSTR*) {
  g_status_handle = ::RegisterServiceCtrlHandlerA(g_name, Control);
  if (!g_status_handle) return;
  Report(SERVICE_RUNNING);
  ::WaitForSingleObject(g_stop, INFINITE);
  Report(SERVICE_STOPPED);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  g_name = argv[1];
  g_stop = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (!g_stop) return 3;
  SERVICE_TABLE_ENTRYA table[] = {{g_name, ServiceMain}, {nullptr, nullptr}};
  BOOL dispatched = ::StartServiceCtrlDispatcherA(table);
  ::CloseHandle(g_stop);
  return dispatched ? 0 : 1;
}

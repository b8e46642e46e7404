// hold.exe PATH EVENT: opens PATH with no sharing, signals EVENT, then waits to be killed.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 3) return 2;
  HANDLE file = ::CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
  if (!ready) return 4;
  ::SetEvent(ready);
  ::Sleep(INFINITE);
  return 0;
}

// wait_event.exe NAME [SECONDS]: sets the event NAME_ready, then waits until the event
// NAME_release is set (or SECONDS, default 120, have passed). A script line RUN ... WAIT of this
// program holds an installation inside that line for as long as a test wants.
// Exit codes: 0 released, 1 timed out, 2 usage, 3 an event cannot be made.
#include <windows.h>

#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) return 2;
  const std::string name = argv[1];
  const DWORD seconds = argc == 3 ? static_cast<DWORD>(std::atoi(argv[2])) : 120;
  HANDLE ready = ::CreateEventA(nullptr, TRUE, FALSE, (name + "_ready").c_str());
  HANDLE release = ::CreateEventA(nullptr, TRUE, FALSE, (name + "_release").c_str());
  if (!ready || !release) return 3;
  ::SetEvent(ready);
  DWORD waited = ::WaitForSingleObject(release, seconds * 1000);
  ::CloseHandle(ready);
  ::CloseHandle(release);
  return waited == WAIT_OBJECT_0 ? 0 : 1;
}

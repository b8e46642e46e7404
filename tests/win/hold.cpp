// hold.exe PATH EVENT [read|load]: keeps PATH in use until killed, then signals EVENT.
//   (default) opened with no sharing at all
//   read      opened for reading, others may read it too
//   load      loaded as an image (LoadLibrary), as an engine still loaded by another process
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) return 2;
  const char* mode = argc == 4 ? argv[3] : "";
  if (std::strcmp(mode, "load") == 0) {
    if (!::LoadLibraryA(argv[1])) return 3;
  } else {
    DWORD share = std::strcmp(mode, "read") == 0 ? FILE_SHARE_READ : 0;
    HANDLE file = ::CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 3;
  }
  HANDLE ready = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
  if (!ready) return 4;
  ::SetEvent(ready);
  ::Sleep(INFINITE);
  return 0;
}

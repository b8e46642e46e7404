// record_args.exe ...: appends its whole command line as one line to the file named by
// QM_RECORD_FILE, then sleeps QM_RECORD_SLEEP_MS milliseconds (to show who waits for it) and
// exits with QM_RECORD_EXIT.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main() {
  const char* file = std::getenv("QM_RECORD_FILE");
  if (file) {
    if (std::FILE* f = std::fopen(file, "ab")) {
      std::fprintf(f, "%s\n", ::GetCommandLineA());
      std::fclose(f);
    }
  }
  const char* sleep = std::getenv("QM_RECORD_SLEEP_MS");
  if (sleep) ::Sleep(static_cast<DWORD>(std::atoi(sleep)));
  const char* code = std::getenv("QM_RECORD_EXIT");
  return code ? std::atoi(code) : 0;
}

// A library for CALL: Record appends "<parameter>#<calls since this load>" as a line to the file
// named by QM_RECORD_FILE and returns QM_CALL_RESULT (0 by default). CdeclRecord does the same
// with the caller-cleans convention.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int g_calls = 0;

// From the process environment as it is now (the runtime's copy is made at load).
std::string Env(const char* name) {
  char buffer[1024];
  DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  return n > 0 && n < sizeof(buffer) ? std::string(buffer, n) : std::string();
}

int Record(const char* parameter) {
  ++g_calls;
  const std::string file = Env("QM_RECORD_FILE");
  if (!file.empty()) {
    if (std::FILE* f = std::fopen(file.c_str(), "ab")) {
      std::fprintf(f, "%s#%d\n", parameter, g_calls);
      std::fclose(f);
    }
  }
  return std::atoi(Env("QM_CALL_RESULT").c_str());
}

}  // namespace

extern "C" {
int __stdcall RecordStd(const char* parameter) { return Record(parameter); }
int __cdecl CdeclRecord(const char* parameter) { return Record(parameter); }
}

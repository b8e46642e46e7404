// A stand-in engine for the front's tests. It answers what the test puts in the environment
// variable QM_FAKE_ANSWERS ("Prepare=12;IsInstall:INSTALL=15;DoStep:copy=4;Finish=12", default 0)
// and appends every call to QM_FAKE_CALLS ("Prepare:KX2.dat|IsInstall:INSTALL|...") and its
// GetTickCount to QM_FAKE_TICKS. The environment outlives the module, which the front unloads.
#include <windows.h>

#include <string>

namespace {

std::string GetEnv(const char* name) {
  char buffer[32768];
  DWORD n = ::GetEnvironmentVariableA(name, buffer, sizeof(buffer));
  return (n > 0 && n < sizeof(buffer)) ? std::string(buffer, n) : std::string();
}

void AppendEnv(const char* name, const std::string& item) {
  std::string value = GetEnv(name);
  if (!value.empty()) value += "|";
  value += item;
  ::SetEnvironmentVariableA(name, value.c_str());
}

// "Entry:arg" is looked up first, then "Entry".
int Answer(const std::string& entry, const std::string& call) {
  std::string answers = ";" + GetEnv("QM_FAKE_ANSWERS") + ";";
  for (const std::string& key : {call, entry}) {
    size_t at = answers.find(";" + key + "=");
    if (at != std::string::npos) return std::atoi(answers.c_str() + at + key.size() + 2);
  }
  return 0;
}

int Record(const char* entry, const char* arg) {
  std::string call = arg ? std::string(entry) + ":" + arg : std::string(entry);
  AppendEnv("QM_FAKE_CALLS", call);
  AppendEnv("QM_FAKE_TICKS", std::to_string(::GetTickCount()));
  return Answer(entry, call);
}

}  // namespace

extern "C" {

int __stdcall Prepare(const char* package) { return Record("Prepare", package); }
int __stdcall DoStep(const char* chapter) { return Record("DoStep", chapter); }
int __stdcall SetLangID(const char* language) { return Record("SetLangID", language); }
int __stdcall IsInstall(const char* mode) { return Record("IsInstall", mode); }
#ifndef FAKE_ENGINE_WITHOUT_FINISH
int __stdcall Finish() { return Record("Finish", nullptr); }
#endif

}  // extern "C"

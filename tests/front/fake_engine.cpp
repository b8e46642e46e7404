// A stand-in engine for the front's tests. It answers what the test puts in the environment
// variable QM_FAKE_ANSWERS ("Prepare=12;IsInstall:INSTALL=15;DoStep:copy=4;Finish=12", default 0)
// and appends every call to QM_FAKE_CALLS ("Prepare:KX2.dat|IsInstall:INSTALL|...") and its
// GetTickCount to QM_FAKE_TICKS. The environment outlives the module, which the front unloads.
// With QM_FAKE_PROBE_WRITES set, Prepare also tries to open its own file and the package for
// writing and to delete them, and records what happened in QM_FAKE_PROBE. The build planted by
// tests at the staging path (FAKE_ENGINE_PLANTED) records into QM_PLANTED_CALLS instead.
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

#ifdef FAKE_ENGINE_PLANTED
constexpr char kCallsVariable[] = "QM_PLANTED_CALLS";
#else
constexpr char kCallsVariable[] = "QM_FAKE_CALLS";
#endif

HMODULE Self() {
  HMODULE self = nullptr;
  ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&Self), &self);
  return self;
}

// "opened" or "denied" for a write open, then "deleted" or "kept".
std::string ProbeWrites(const std::string& path) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  std::string result = file == INVALID_HANDLE_VALUE ? "denied" : "opened";
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  return result + (::DeleteFileA(path.c_str()) ? ",deleted" : ",kept");
}

void ProbeStagedFiles(const char* package) {
  if (GetEnv("QM_FAKE_PROBE_WRITES").empty()) return;
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(Self(), path, MAX_PATH);
  std::string engine = path;
  std::string folder = engine.substr(0, engine.rfind('\\') + 1);
  ::SetEnvironmentVariableA("QM_FAKE_PROBE",
                            ("engine:" + ProbeWrites(engine) + "|package:" + ProbeWrites(folder + package)).c_str());
}

int Record(const char* entry, const char* arg) {
  std::string call = arg ? std::string(entry) + ":" + arg : std::string(entry);
  AppendEnv(kCallsVariable, call);
  AppendEnv("QM_FAKE_TICKS", std::to_string(::GetTickCount()));
  return Answer(entry, call);
}

}  // namespace

extern "C" {

int __stdcall Prepare(const char* package) {
  ProbeStagedFiles(package);
  return Record("Prepare", package);
}
int __stdcall DoStep(const char* chapter) { return Record("DoStep", chapter); }
int __stdcall SetLangID(const char* language) { return Record("SetLangID", language); }
int __stdcall IsInstall(const char* mode) { return Record("IsInstall", mode); }
#ifndef FAKE_ENGINE_WITHOUT_FINISH
int __stdcall Finish() { return Record("Finish", nullptr); }
#endif

}  // extern "C"

#include "tests/faults/fault_support.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/win/reg_key.h"
#include "engine/package/der.h"

namespace qmfault {
namespace {

constexpr char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr DWORD kServiceWaitMs = 30000;
constexpr DWORD kPollMs = 50;

std::string g_saved_program_files;  // what ProgramFilesDir held before a test changed it

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && Lower(text.substr(text.size() - tail.size())) == Lower(tail);
}


const char* StateName(DWORD state) {
  switch (state) {
    case SERVICE_STOPPED: return "STOPPED";
    case SERVICE_START_PENDING: return "START_PENDING";
    case SERVICE_STOP_PENDING: return "STOP_PENDING";
    case SERVICE_RUNNING: return "RUNNING";
    default: return "OTHER";
  }
}

DWORD ServicePid(SC_HANDLE service) {
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                              &needed))
    return 0;
  return status.dwProcessId;
}

void KillProcessesNamed(const std::string& exe) {
  for (DWORD pid : ProcessesNamed(exe)) {
    qm::ScopedHandle process(::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process) continue;
    ::TerminateProcess(process.get(), 1);
    ::WaitForSingleObject(process.get(), 10000);
  }
}

std::string RegistryText(const char* key, const char* value) {
  qm::RegKey k;
  std::string text;
  if (k.Open(HKEY_LOCAL_MACHINE, key, KEY_QUERY_VALUE) == ERROR_SUCCESS) k.ReadString(value, &text);
  return text;
}

void Section(std::string* out, const std::string& what, const Lines& lines) {
  if (lines.empty()) return;
  *out += what + " (" + std::to_string(lines.size()) + "):\n";
  for (const std::string& line : lines) *out += "    " + line + "\n";
}

void Flag(std::string* out, const std::string& what, bool on) {
  if (on) *out += what + "\n";
}

void Text(std::string* out, const std::string& what, const std::string& text) {
  if (text.empty()) return;
  std::string shown = text;
  for (size_t at; (at = shown.find("\r\n")) != std::string::npos;) shown.replace(at, 2, " | ");
  *out += what + ": " + shown + "\n";
}

std::string KxhostPath(const std::string& windows_version) {
  const std::string exe = qmtest::BinFolder() + "\\kxhost.exe";
  return windows_version.empty() ? exe : qmtest::WindowsVersionCopy(exe, windows_version);
}

}  // namespace

std::string FileSize(const std::string&, const WIN32_FIND_DATAA& data) { return std::to_string(data.nFileSizeLow); }

void WalkFiles(const std::string& folder, Lines* out, FileDescriber describe) {
  qmtest::WalkTree(folder, [&](const std::string& relative, const std::string& path, const WIN32_FIND_DATAA& data) {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out->push_back(relative + " " + describe(path, data));
  });
}

// --- Places ---------------------------------------------------------------------------------------

std::string ProgramFilesFolder() { return RegistryText(kVersionKey, "ProgramFilesDir"); }

void SetProgramFilesFolder(const std::string& folder) {
  if (g_saved_program_files.empty()) g_saved_program_files = ProgramFilesFolder();
  qm::RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kVersionKey, KEY_SET_VALUE) == ERROR_SUCCESS) key.WriteString("ProgramFilesDir", folder);
}

void RestoreProgramFilesFolder() {
  if (g_saved_program_files.empty()) return;
  qm::RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kVersionKey, KEY_SET_VALUE) == ERROR_SUCCESS)
    key.WriteString("ProgramFilesDir", g_saved_program_files);
  g_saved_program_files.clear();
}

std::string ProductFolder() { return ProgramFilesFolder() + "\\qmsrv"; }

const Lines& SystemFileNames() {
  static const Lines names = {"qmp11.dll", "qmcsp.dat", "qmcsp.sig", "qmcsp.dll", "qmcsp2.sig"};
  return names;
}

std::vector<CopyPair> CopyPairs() {
  std::vector<CopyPair> pairs;
  const std::string script = PackageFile(ShippedPackage(), "qmsetup.ini");
  bool in_copy = false;
  for (std::string line : qmtest::Split(script, "\n")) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') in_copy = line == "[copy]";
    if (!in_copy || (line.compare(0, 5, "COPY ") != 0 && line.compare(0, 7, "COPYIF ") != 0)) continue;
    // The first and the second quoted field; the source is "{TMP}\" and the package path.
    const size_t source_open = line.find('"');
    const size_t source_close = line.find('"', source_open + 1);
    const std::string source = line.substr(source_open + 1, source_close - source_open - 1);
    size_t comma = line.find(',');
    size_t open = line.find('"', comma);
    size_t close = line.find('"', open + 1);
    std::string target = line.substr(open + 1, close - open - 1);
    for (const auto& [name, value] :
         {std::pair<std::string, std::string>{"{QMDIR}", ProductFolder()}, {"{SYSDIR}", qmtest::SystemFolder()}})
      for (size_t at; (at = target.find(name)) != std::string::npos;) target.replace(at, name.size(), value);
    pairs.push_back({source.substr(source.find('\\') + 1), target});
  }
  return pairs;
}

std::string UnpackFolder() { return qmtest::StagingFolder() + "\\KX2"; }

std::string RestartPathOf(const std::string& path) {
  using Wow64FolderFn = UINT(WINAPI*)(LPSTR, UINT);
  auto wow64_folder =
      reinterpret_cast<Wow64FolderFn>(::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "GetSystemWow64DirectoryA"));
  char folder[MAX_PATH] = {};
  const std::string system = qmtest::SystemFolder();
  if (!wow64_folder || wow64_folder(folder, MAX_PATH) == 0) return path;
  if (Lower(path.substr(0, system.size() + 1)) != Lower(system + "\\")) return path;
  return folder + path.substr(system.size());
}

// --- Packages -------------------------------------------------------------------------------------

qmtest::PackageFiles ReadPackage(const std::string& path) {
  qmtest::PackageFiles files;
  const std::string bytes = qmtest::ReadFileBytes(path);
  if (bytes.size() < 4) return files;
  uint32_t directory_size = 0;
  std::memcpy(&directory_size, bytes.data() + bytes.size() - 4, 4);
  if (directory_size > bytes.size() - 4) return files;
  const size_t directory_at = bytes.size() - 4 - directory_size;
  std::vector<qm::PackageEntry> entries;
  if (qm::DerDecodeDirectory(reinterpret_cast<const uint8_t*>(bytes.data()) + directory_at, directory_size, &entries) !=
      qm::UnpackResult::kOk)
    return files;
  for (const qm::PackageEntry& entry : entries) files.push_back({entry.path, bytes.substr(entry.offset, entry.length)});
  return files;
}

const qmtest::PackageFiles& ShippedPackage() {
  static const qmtest::PackageFiles package = ReadPackage(qmtest::BinFolder() + "\\KX2.dat");
  return package;
}

std::string PackageFile(const qmtest::PackageFiles& package, const std::string& path) {
  for (const auto& file : package)
    if (Lower(file.first) == Lower(path)) return file.second;
  return std::string();
}

bool SetScriptVariable(qmtest::PackageFiles* package, const std::string& name, const std::string& value) {
  for (auto& file : *package) {
    if (file.first != "qmsetup.ini") continue;
    const std::string head = "\nVAR " + name + " \"";
    size_t at = file.second.find(head);
    if (at == std::string::npos) return false;
    size_t open = at + head.size();
    size_t close = file.second.find('"', open);
    file.second.replace(open, close - open, value);
    return true;
  }
  return false;
}

bool BumpFileVersion(std::string* image, unsigned step) {
  static const char kSignature[] = "\xBD\x04\xEF\xFE";
  size_t at = image->find(std::string(kSignature, 4));
  if (at == std::string::npos || at + 24 > image->size()) return false;
  // dwFileVersionLS (build << 16 | revision), then the product version the same way.
  for (size_t field : {at + 12, at + 20}) {
    DWORD value = 0;
    std::memcpy(&value, image->data() + field, 4);
    value += step;
    std::memcpy(&(*image)[field], &value, 4);
  }
  return true;
}

const Lines& RuntimeImages() {
  static const Lines images = {"slotmon\\scardmon.dll", "slotmon\\hidmon.dll", "tsp\\qmtsp_kx2.dll",
                               "tsp\\qmtsp_rx90.dll",   "tsp\\qmtsp_kx1.dll",  "qmcertd.exe",
                               "qmslotd.exe"};
  return images;
}

qmtest::PackageFiles SecondProductPackage(const std::string& guid, unsigned bump, size_t grow) {
  qmtest::PackageFiles package = ShippedPackage();
  SetScriptVariable(&package, "{PRODUCT_GUID}", guid);
  for (auto& file : package) {
    if (std::find(RuntimeImages().begin(), RuntimeImages().end(), file.first) == RuntimeImages().end()) continue;
    if (bump) BumpFileVersion(&file.second, bump);
    file.second.append(grow, '\0');
  }
  return package;
}

// --- Hosts ----------------------------------------------------------------------------------------

EngineFolder MakeEngineFolder(const std::string& name) {
  EngineFolder engine;
  engine.folder = qmtest::MakeScratchFolder("fault_" + name);
  engine.engine = engine.folder + "\\QMSetup.dll";
  ::CopyFileA((qmtest::BinFolder() + "\\QMSetup.dll").c_str(), engine.engine.c_str(), FALSE);
  return engine;
}

void WritePackageBeside(const EngineFolder& engine, const std::string& file, const qmtest::PackageFiles& package) {
  const std::string error = qmtest::WritePackage(engine.folder + "\\" + file, package);
  if (!error.empty()) std::printf("cannot write the package %s: %s\n", file.c_str(), error.c_str());
}

qmtest::ProcessResult Kxhost(const std::string& args, const std::string& windows_version) {
  return qmtest::RunProcess("\"" + KxhostPath(windows_version) + "\" --raw " + args, kHostTimeoutMs);
}

qm::ScopedHandle StartKxhost(const std::string& args, const std::string& windows_version) {
  std::string command = "\"" + KxhostPath(windows_version) + "\" --raw " + args;
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi))
    return qm::ScopedHandle();
  qm::ScopedHandle thread(pi.hThread);
  return qm::ScopedHandle(pi.hProcess);
}

qm::FrontResult FrontInstall(const std::string& windows_version) {
  return Kxhost("install 3", windows_version).exit_as<qm::FrontResult>();
}

qm::FrontResult FrontUninstall(const std::string& windows_version) {
  return Kxhost("uninstall", windows_version).exit_as<qm::FrontResult>();
}

int OneCallInstall(const EngineFolder& engine, const std::string& package, const std::string& windows_version) {
  return static_cast<int>(Kxhost("--engine \"" + engine.engine + "\" mw-install " + package, windows_version).exit_code);
}

int OneCallUninstall(const EngineFolder& engine, const std::string& package, const std::string& windows_version) {
  return static_cast<int>(
      Kxhost("--engine \"" + engine.engine + "\" mw-uninstall " + package, windows_version).exit_code);
}

void SetProgramWindowsVersion(const std::string& exe_name, const std::string& version) {
  const std::string key = "Software\\Wine\\AppDefaults\\" + exe_name;
  if (version.empty()) {
    ::SHDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
    return;
  }
  qm::RegKey k;
  if (k.Create(HKEY_CURRENT_USER, key.c_str()) == ERROR_SUCCESS) k.WriteString("Version", version);
}

// --- Services, processes, restart -----------------------------------------------------------------

bool StopService(const char* name) {
  qm::ScopedServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  qm::ScopedServiceHandle service(
      manager ? ::OpenServiceA(manager.get(), name, SERVICE_STOP | SERVICE_QUERY_STATUS) : nullptr);
  if (!service) return true;
  qm::ScopedHandle process;
  if (DWORD pid = ServicePid(service.get())) process.Reset(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  SERVICE_STATUS status = {};
  ::ControlService(service.get(), SERVICE_CONTROL_STOP, &status);
  const DWORD start = ::GetTickCount();
  while (::QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED) {
    if (::GetTickCount() - start > kServiceWaitMs) return false;
    ::Sleep(kPollMs);
  }
  if (process) ::WaitForSingleObject(process.get(), kServiceWaitMs);
  return true;
}

DWORD StartServiceAndWait(const char* name) {
  qm::ScopedServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  qm::ScopedServiceHandle service(
      manager ? ::OpenServiceA(manager.get(), name, SERVICE_START | SERVICE_QUERY_STATUS) : nullptr);
  if (!service) return ::GetLastError();
  if (!::StartServiceA(service.get(), 0, nullptr)) {
    DWORD error = ::GetLastError();
    if (error != ERROR_SERVICE_ALREADY_RUNNING) return error;
  }
  SERVICE_STATUS status = {};
  const DWORD start = ::GetTickCount();
  while (::QueryServiceStatus(service.get(), &status)) {
    if (status.dwCurrentState == SERVICE_RUNNING) return 0;
    if (status.dwCurrentState == SERVICE_STOPPED)
      return status.dwWin32ExitCode ? status.dwWin32ExitCode : ERROR_SERVICE_NEVER_STARTED;
    if (::GetTickCount() - start > kServiceWaitMs) return ERROR_SERVICE_REQUEST_TIMEOUT;
    ::Sleep(kPollMs);
  }
  return ::GetLastError();
}

void DeleteService(const char* name) {
  StopService(name);
  qm::ScopedServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  qm::ScopedServiceHandle service(manager ? ::OpenServiceA(manager.get(), name, DELETE) : nullptr);
  if (service) ::DeleteService(service.get());
}

std::vector<DWORD> ProcessesNamed(const std::string& exe) {
  std::vector<DWORD> pids;
  qm::ScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) return pids;
  PROCESSENTRY32 entry;
  entry.dwSize = sizeof(entry);
  for (BOOL more = ::Process32First(snapshot.get(), &entry); more; more = ::Process32Next(snapshot.get(), &entry))
    if (Lower(entry.szExeFile) == Lower(exe)) pids.push_back(entry.th32ProcessID);
  return pids;
}

bool WaitNoProcess(const std::string& exe, DWORD timeout_ms) {
  const DWORD start = ::GetTickCount();
  while (!ProcessesNamed(exe).empty()) {
    if (::GetTickCount() - start > timeout_ms) return false;
    ::Sleep(kPollMs);
  }
  return true;
}

SmartCardStandIn::SmartCardStandIn() {
  if (qmtest::RegistryKeyExists(std::string("SYSTEM\\CurrentControlSet\\Services\\") + kSmartCardService)) return;
  qm::ScopedServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return;
  const std::string command = "\"" + qmtest::BinFolder() + "\\standin_service.exe\" " + kSmartCardService;
  qm::ScopedServiceHandle service(::CreateServiceA(manager.get(), kSmartCardService, "Smart card (test stand-in)",
                                                   SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                   SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr,
                                                   nullptr, nullptr));
  registered_ = service.is_valid();
}

SmartCardStandIn::~SmartCardStandIn() {
  if (registered_) DeleteService(kSmartCardService);
}

namespace {
std::unique_ptr<SmartCardStandIn> g_standin;

std::string DependOnService() {
  qm::RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\qmSlotD", KEY_QUERY_VALUE) != ERROR_SUCCESS)
    return "(no service)";
  char data[256] = {};
  DWORD size = sizeof(data) - 2;
  DWORD type = 0;
  if (::RegQueryValueExA(key.get(), "DependOnService", nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
      ERROR_SUCCESS)
    return "(none)";
  std::string text(data, size);
  for (char& c : text)
    if (c == '\0') c = '|';
  return text;
}
}  // namespace

BootOutcome StartServicesAsBootWould() {
  BootOutcome boot;
  boot.depends_on = DependOnService();
  char force[8] = {};
  if (::GetEnvironmentVariableA("QM_FAULTS_STANDIN", force, sizeof(force)) && force[0] == '1' && !g_standin) {
    g_standin.reset(new SmartCardStandIn);
    boot.standin = g_standin->registered();
  }
  if (ServiceState(kSlotService)) {
    boot.slot_error = StartServiceAndWait(kSlotService);
    if (boot.slot_error && !g_standin) {
      g_standin.reset(new SmartCardStandIn);
      boot.standin = g_standin->registered();
      boot.slot_retry_error = StartServiceAndWait(kSlotService);
    }
  }
  if (ServiceState(kCertService)) boot.cert_error = StartServiceAndWait(kCertService);
  return boot;
}

std::string Describe(const BootOutcome& boot) {
  std::string text = "qmSlotD DependOnService=" + boot.depends_on + "; start qmSlotD: " +
                     (boot.slot_error ? "error " + std::to_string(boot.slot_error) : std::string("running"));
  if (boot.standin)
    text += "; stand-in SCardSvr registered" +
            (boot.slot_error ? ", start again: " + (boot.slot_retry_error ? "error " + std::to_string(boot.slot_retry_error)
                                                                          : std::string("running"))
                             : std::string());
  text += "; start qmCertD: " + (boot.cert_error ? "error " + std::to_string(boot.cert_error) : std::string("running"));
  return text;
}

DWORD Restart() {
  StopService(kCertService);
  StopService(kSlotService);
  for (const char* exe : {"qmcertd.exe", "qmslotd.exe"}) KillProcessesNamed(exe);
  return qmtest::RunProcess("wineboot.exe -r", 60000).exit_code;
}

// --- What is left ---------------------------------------------------------------------------------

Snapshot TakeSnapshot() {
  Snapshot s;
  const std::string product = ProductFolder();
  s.product_folder = qmtest::FileExists(product);
  WalkFiles(product, &s.product_files);
  std::sort(s.product_files.begin(), s.product_files.end());
  for (const std::string& line : s.product_files) {
    const std::string name = line.substr(0, line.rfind(' '));
    if (EndsWith(name, ".OLD")) s.old_files.push_back(product + "\\" + name);
  }
  for (const std::string& name : SystemFileNames()) {
    const std::string path = qmtest::SystemFolder() + "\\" + name;
    if (qmtest::FileExists(path)) s.system_files.push_back(name);
    if (qmtest::FileExists(path + ".OLD")) {
      s.system_files.push_back(name + ".OLD");
      s.old_files.push_back(path + ".OLD");
    }
  }
  s.registry = qmtest::RegistryTree("Software\\QMSrv");
  s.hid = qmtest::RegistryTree("Software\\QMHid");
  s.csp = qmtest::RegistryKeyExists(kCspKey);
  for (const char* name : {kSlotService, kCertService})
    if (DWORD state = ServiceState(name)) s.services.push_back(std::string(name) + " " + StateName(state));
  for (const char* exe : {"qmslotd.exe", "qmcertd.exe"})
    if (size_t n = ProcessesNamed(exe).size()) s.processes.push_back(std::string(exe) + " " + std::to_string(n));
  const Lines pending = qmtest::PendingFileRenameOperations();
  for (size_t i = 0; i + 1 < pending.size(); i += 2)
    s.pending.push_back(pending[i] + " -> " + (pending[i + 1].empty() ? "(delete)" : pending[i + 1]));
  s.marker = qmtest::FileExists(qmtest::MarkerPath());
  {
    WIN32_FIND_DATAA data;
    qm::ScopedFindHandle find(::FindFirstFileA((qmtest::StagingFolder() + "\\*").c_str(), &data));
    if (find) {
      do {
        const std::string name = data.cFileName;
        if (name == "." || name == "..") continue;
        s.staging.push_back(name + ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? "\\" : ""));
      } while (::FindNextFileA(find.get(), &data));
    }
    std::sort(s.staging.begin(), s.staging.end());
  }
  const std::string windows = qmtest::WindowsFolder();
  s.removed_ini = qmtest::ReadFileBytes(windows + "\\Temp\\_REMOVED.INI");
  s.run_once = RegistryText(kRunOnceKey, "removed");
  s.wininit = qmtest::ReadFileBytes(windows + "\\WININIT.INI");
  s.dirnul = qmtest::FileExists(windows + "\\DIRNUL");
  return s;
}

std::string Describe(const Snapshot& s, bool with_staging) {
  std::string out;
  Flag(&out, "product folder " + ProductFolder() + " exists", s.product_folder);
  Section(&out, "files below the product folder", s.product_files);
  Section(&out, "files in the system folder", s.system_files);
  Section(&out, ".OLD files", s.old_files);
  Section(&out, "Software\\QMSrv", s.registry);
  Section(&out, "Software\\QMHid", s.hid);
  Flag(&out, "the CSP is registered", s.csp);
  Section(&out, "services", s.services);
  Section(&out, "daemon processes", s.processes);
  Section(&out, "pending at the next restart", s.pending);
  Flag(&out, "the restart marker InstallReboot is there", s.marker);
  if (with_staging) Section(&out, "staging folder", s.staging);
  Text(&out, "_REMOVED.INI", s.removed_ini);
  Text(&out, "RunOnce \"removed\"", s.run_once);
  Text(&out, "WININIT.INI", s.wininit);
  Flag(&out, "<Windows>\\DIRNUL exists", s.dirnul);
  return out.empty() ? "nothing\n" : out;
}

bool NothingOfOurs(const Snapshot& s) { return WhatIsLeft(s).empty(); }

std::string WhatIsLeft(const Snapshot& s) {
  Snapshot copy = s;
  copy.staging.clear();
  return Describe(copy, false) == "nothing\n" ? std::string() : Describe(copy, false);
}

void CleanEverything() {
  for (const char* name : {kCertService, kSlotService}) DeleteService(name);
  for (const char* exe : {"qmcertd.exe", "qmslotd.exe", "wait_event.exe", "_REMOVED.exe"}) KillProcessesNamed(exe);
  for (const char* key : {"Software\\QMSrv", "Software\\QMHid", kCspKey}) ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, key);
  qmtest::DeleteTree(ProductFolder());
  for (const std::string& name : SystemFileNames()) {
    qmtest::DeleteTree(qmtest::SystemFolder() + "\\" + name);
    qmtest::DeleteTree(qmtest::SystemFolder() + "\\" + name + ".OLD");
  }
  const std::string windows = qmtest::WindowsFolder();
  for (const std::string& file : {qmtest::MarkerPath(), windows + "\\Temp\\_REMOVED.INI", windows + "\\Temp\\_REMOVED.log",
                                  windows + "\\WININIT.INI", windows + "\\wininit.bak", windows + "\\DIRNUL"})
    qmtest::DeleteTree(file);
  {
    qm::RegKey run_once;
    if (run_once.Open(HKEY_LOCAL_MACHINE, kRunOnceKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) run_once.DeleteValue("removed");
  }
  for (const char* exe : {"qmslotd.exe", "qmcertd.exe", "_removed.exe", "kxhost_win98.exe", "second_process_test_win7.exe"})
    SetProgramWindowsVersion(exe, "");
  qmtest::DeleteTree(qmtest::StagingFolder());
  g_standin.reset();
  Restart();
  ::DeleteFileA(qmtest::EngineLogPath().c_str());
}

size_t LogLineCount() { return qmtest::EngineLogLines().size(); }

void Report(const std::string& text) {
  for (const std::string& line : qmtest::Split(text, "\n")) std::printf("[report] %s\n", line.c_str());
  std::fflush(stdout);
}

}  // namespace qmfault

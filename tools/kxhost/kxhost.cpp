// kxhost: the command-line host an administrator or a deployment tool runs.
//   kxhost [OPTIONS] precheck | install SELECTOR | uninstall
//          through the front DLL Inst_kx2.dll (next to kxhost unless --front PATH)
//   kxhost [OPTIONS] mw-install | mw-uninstall | mw-status [PACKAGE] | mw-reboot
//          through the engine's one-call interface, QMSetup.dll (next to kxhost unless
//          --engine PATH); PACKAGE is a package file beside the engine, KX2.dat by default
// It prints what it did and the result in words, shows each chapter as the engine starts it
// (followed from the setup log as it grows) and exits with what deployment tools expect: 0 done,
// 3010 done and a restart is needed, 1603 failed, 87 bad arguments. --raw exits with the called
// function's own code instead; --log prints the log lines the run appended; --verbose also shows
// the unpacker's console lines.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/result.h"
#include "base/win/scoped_handle.h"
#include "qmsetup/exports.h"
#include "qmsetup/names.h"
#include "qmsetup/results.h"

namespace {

// What deployment tools expect of an installer.
enum class KxhostExit : int {
  kOk = 0,
  kRestart = 3010,
  kFailed = 1603,
  kBadArguments = 87,
};

[[maybe_unused]] constexpr const char* ResultName(KxhostExit r) {
  switch (r) {
    case KxhostExit::kOk: return "kOk";
    case KxhostExit::kRestart: return "kRestart";
    case KxhostExit::kFailed: return "kFailed";
    case KxhostExit::kBadArguments: return "kBadArguments";
  }
  return "not a kxhost exit code";
}

constexpr DWORD kLogPollMs = 200;

using qm::FrontResult;
using FrontInstall = qmsetup::FrontInstallFn;
using FrontNoArgs = qmsetup::FrontNoArgFn;
using EnginePackage = qmsetup::EngineTextFn;
using EngineNoArgs = qmsetup::EngineNoArgFn;

struct Outcome {
  int code = 0;                       // what the export returned
  KxhostExit exit = KxhostExit::kOk;  // the deployment-tool convention
  std::string words;
};

struct Options {
  std::string front;
  std::string engine;
  bool raw = false;
  bool log = false;
  bool verbose = false;
  std::string command;
  std::string argument;
};

KxhostExit Usage(std::FILE* to, KxhostExit exit_code) {
  std::fprintf(to,
               "usage: kxhost [--front PATH] [--engine PATH] [--raw] [--log] [--verbose] COMMAND\n"
               "  precheck              may the runtime be installed now (kx_PrePareCheck)\n"
               "  install SELECTOR      install (kx_Install); SELECTOR 1 = 2052, 2 = 1033, 3 = by the user's language\n"
               "  uninstall             remove (kx_Uninstall)\n"
               "  mw-install [PACKAGE]  install with the script's action list (instMW_Install)\n"
               "  mw-uninstall [PACKAGE] remove with the script's action list (instMW_Uninstall)\n"
               "  mw-status [PACKAGE]   is the product installed, and which version (instMW_IsHaveInstalled)\n"
               "  mw-reboot             is a restart pending (instMW_IsNeedReboot)\n"
               "Exit codes: 0 done, 3010 done and a restart is needed, 1603 failed, 87 bad arguments;\n"
               "--raw exits with the function's own result instead.\n");
  return exit_code;
}

std::string BesideMe(const char* file) {
  char path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  size_t slash = folder.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : folder.substr(0, slash + 1)) + file;
}

std::string LogPath() {
  char folder[MAX_PATH] = {};
  ::GetWindowsDirectoryA(folder, MAX_PATH);
  return std::string(folder) + qmsetup::kLogBelowWindows;
}

long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return static_cast<long>(data.nFileSizeLow);
}

// The log's lines from byte |from| on; |*from| moves past the last whole line read.
std::vector<std::string> ReadLogFrom(const std::string& path, long* from) {
  std::vector<std::string> lines;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return lines;
  std::fseek(f, *from, SEEK_SET);
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) text.append(buffer, n);
  std::fclose(f);
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  *from += static_cast<long>(start);
  return lines;
}

// Follows the log while an engine call runs on the main thread, printing each chapter it starts.
struct Progress {
  std::string log = LogPath();
  long start = FileSize(log);
  long read = start;
  std::FILE* out = nullptr;
  qm::ScopedHandle stop;
  qm::ScopedHandle thread;

  void Report() {
    for (const std::string& line : ReadLogFrom(log, &read)) {
      const char kChapter[] = "DoStep OneChapter is ";
      if (line.compare(0, sizeof(kChapter) - 1, kChapter) == 0) std::fprintf(out, "  ... %s\n", line.c_str() + sizeof(kChapter) - 1);
      else if (line == "====>Begin to Prepare:") std::fprintf(out, "  ... unpacking the package and checking its files\n");
      else if (line == "====>Begin to Finish:") std::fprintf(out, "  ... recording the product\n");
      std::fflush(out);
    }
  }
  static DWORD WINAPI Follow(void* self) {
    auto* p = static_cast<Progress*>(self);
    while (::WaitForSingleObject(p->stop.get(), kLogPollMs) == WAIT_TIMEOUT) p->Report();
    p->Report();
    return 0;
  }
  void Start(std::FILE* to) {
    out = to;
    stop.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    DWORD id = 0;
    thread.Reset(::CreateThread(nullptr, 0, Follow, this, 0, &id));
  }
  void Stop() {
    if (!thread) return;
    ::SetEvent(stop.get());
    ::WaitForSingleObject(thread.get(), INFINITE);
    thread.Reset();
  }
};

Outcome FrontOutcome(const std::string& command, FrontResult code) {
  Outcome o;
  o.code = qm::ToInt(code);
  switch (code) {
    case FrontResult::kOk:
      o.words = command == "precheck" ? "the runtime may be installed now" : "done, no restart needed";
      return o;
    case FrontResult::kRestartNeeded:
      o.words = "done; a restart is needed to complete it";
      o.exit = KxhostExit::kRestart;
      return o;
    case FrontResult::kEngineFailed:
      o.words = "the setup engine failed; the setup log says where";
      break;
    case FrontResult::kStagingFailed:
      o.words = "the engine and the package could not be staged in the Temp folder";
      break;
    case FrontResult::kBadLanguage:
      o.words = "the language selector must be 1, 2 or 3";
      o.exit = KxhostExit::kBadArguments;
      return o;
    case FrontResult::kRestartPending:
      o.words = "a restart from an earlier run is still pending; restart Windows first";
      break;
    case FrontResult::kOsUnsupported:
      o.words = "this Windows version is not supported";
      break;
    default:
      o.words = "unknown result";
  }
  o.exit = KxhostExit::kFailed;
  return o;
}

Outcome OneCallOutcome(bool install, int code, bool restart) {
  Outcome o;
  o.code = code;
  static const char* const kSteps[] = {"", "a step failed (unpacking, the action list, or a chapter)", "copying files failed",
                                       "starting a daemon failed (or recording the product)", "registering the CSP failed",
                                       "removing a daemon failed", "deleting files failed"};
  if (code == 0) {
    o.words = restart ? "done; a restart is needed to complete it" : "done, no restart needed";
    o.exit = restart ? KxhostExit::kRestart : KxhostExit::kOk;
  } else if (install && code == 11) {
    o.words = "the product is installed already; nothing was done";
  } else if (code == 12) {
    o.words = "a restart from an earlier run is still pending; restart Windows first";
    o.exit = KxhostExit::kFailed;
  } else {
    o.words = code >= 1 && code <= 6 ? kSteps[code] : code == 10 ? "the driver step failed" : "unknown result";
    o.exit = KxhostExit::kFailed;
  }
  return o;
}

Outcome StatusOutcome(int code) {
  Outcome o;
  o.code = code;
  switch (code) {
    case 0: o.words = "not installed"; break;
    case 1: o.words = "installed; this package is newer (or the installed version is unknown)"; break;
    case 2: o.words = "installed, the same version as this package"; break;
    case 3: o.words = "installed; the installed version is newer than this package"; break;
    default:
      o.words = "the package defines no product";
      o.exit = KxhostExit::kFailed;
  }
  return o;
}

bool ParseOptions(int argc, char** argv, Options* options) {
  options->front = BesideMe("Inst_kx2.dll");
  options->engine = BesideMe("QMSetup.dll");
  int i = 1;
  for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
    const std::string flag = argv[i];
    if ((flag == "--front" || flag == "--engine") && i + 1 < argc) {
      (flag == "--front" ? options->front : options->engine) = argv[++i];
    } else if (flag == "--raw") {
      options->raw = true;
    } else if (flag == "--log") {
      options->log = true;
    } else if (flag == "--verbose") {
      options->verbose = true;
    } else {
      return false;
    }
  }
  if (i >= argc) return false;
  options->command = argv[i++];
  if (i < argc) options->argument = argv[i++];
  return i == argc;
}

// Calls |run| with the unpacker's console lines going to NUL unless |verbose|; progress goes to
// the real standard output. Returns the export's result.
template <typename Run>
int Quietly(bool verbose, Run run) {
  std::fflush(stdout);
  int saved = _dup(1);
  std::FILE* out = saved >= 0 ? _fdopen(_dup(saved), "w") : nullptr;
  if (!verbose && saved >= 0) {
    int nul = _open("NUL", _O_WRONLY);
    if (nul >= 0) {
      _dup2(nul, 1);
      _close(nul);
    }
  }
  Progress progress;
  progress.Start(out ? out : stderr);
  int result = run();
  std::fflush(stdout);
  progress.Stop();
  if (saved >= 0) {
    _dup2(saved, 1);
    _close(saved);
  }
  if (out) std::fclose(out);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  constexpr int kCannotCall = qm::ToInt(KxhostExit::kFailed);  // the module or a function is missing
  Options options;
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0))
    return qm::ToInt(Usage(stdout, KxhostExit::kOk));
  if (!ParseOptions(argc, argv, &options)) return qm::ToInt(Usage(stderr, KxhostExit::kBadArguments));
  const std::string& command = options.command;
  const bool front_command = command == "precheck" || command == "install" || command == "uninstall";
  const bool one_call = command == "mw-install" || command == "mw-uninstall" || command == "mw-status" || command == "mw-reboot";
  if (!front_command && !one_call) return qm::ToInt(Usage(stderr, KxhostExit::kBadArguments));
  if ((command == "install") != !options.argument.empty() && front_command)
    return qm::ToInt(Usage(stderr, KxhostExit::kBadArguments));
  if (command == "mw-reboot" && !options.argument.empty())
    return qm::ToInt(Usage(stderr, KxhostExit::kBadArguments));

  const std::string module_path = front_command ? options.front : options.engine;
  qm::ScopedModule module(::LoadLibraryA(module_path.c_str()));
  if (!module) {
    std::printf("kxhost: cannot load %s (error %lu)\n", module_path.c_str(), ::GetLastError());
    return kCannotCall;
  }
  auto entry = [&](const char* name) {
    FARPROC f = ::GetProcAddress(module.get(), name);
    if (!f) std::printf("kxhost: %s has no export %s\n", module_path.c_str(), name);
    return f;
  };
  const long log_start = FileSize(LogPath());
  Outcome outcome;
  if (command == "precheck" || command == "uninstall") {
    auto fn = reinterpret_cast<FrontNoArgs>(entry(command == "precheck" ? qmsetup::kFrontPrepareCheck : qmsetup::kFrontUninstall));
    if (!fn) return kCannotCall;
    std::printf("%s\n", command == "precheck" ? "Checking whether the runtime can be installed now"
                                              : "Removing the token client runtime");
    outcome = FrontOutcome(command, static_cast<FrontResult>(Quietly(options.verbose, [&] { return fn(); })));
  } else if (command == "install") {
    char* end = nullptr;
    long selector = std::strtol(options.argument.c_str(), &end, 10);
    if (*end != '\0') return qm::ToInt(Usage(stderr, KxhostExit::kBadArguments));
    auto fn = reinterpret_cast<FrontInstall>(entry(qmsetup::kFrontInstall));
    if (!fn) return kCannotCall;
    std::printf("Installing the token client runtime (language selector %ld)\n", selector);
    outcome = FrontOutcome(
        command, static_cast<FrontResult>(Quietly(options.verbose, [&] { return fn(0, static_cast<int>(selector)); })));
  } else if (command == "mw-reboot") {
    auto fn = reinterpret_cast<EngineNoArgs>(entry(qmsetup::kOneCallIsNeedReboot));
    if (!fn) return kCannotCall;
    outcome.code = fn();
    outcome.words = outcome.code ? "a restart is pending" : "no restart is pending";
    outcome.exit = outcome.code ? KxhostExit::kRestart : KxhostExit::kOk;
  } else {
    const std::string package = options.argument.empty() ? "KX2.dat" : options.argument;
    const char* name = command == "mw-install"     ? qmsetup::kOneCallInstall
                       : command == "mw-uninstall" ? qmsetup::kOneCallUninstall
                                                   : qmsetup::kOneCallIsInstalled;
    auto fn = reinterpret_cast<EnginePackage>(entry(name));
    auto reboot = reinterpret_cast<EngineNoArgs>(entry(qmsetup::kOneCallIsNeedReboot));
    if (!fn || !reboot) return kCannotCall;
    std::printf("%s %s\n", command == "mw-install" ? "Installing" : command == "mw-uninstall" ? "Removing" : "Looking up",
                package.c_str());
    int code = Quietly(options.verbose, [&] { return fn(package.c_str()); });
    outcome = command == "mw-status" ? StatusOutcome(code) : OneCallOutcome(command == "mw-install", code, reboot() == 1);
  }
  std::printf("%s returned %d: %s\n", command.c_str(), outcome.code, outcome.words.c_str());
  if (options.log) {
    long from = log_start;
    std::printf("-- setup log, the lines this run added:\n");
    for (const std::string& line : ReadLogFrom(LogPath(), &from)) std::printf("%s\n", line.c_str());
  }
  std::fflush(stdout);
  return options.raw ? outcome.code : qm::ToInt(outcome.exit);
}

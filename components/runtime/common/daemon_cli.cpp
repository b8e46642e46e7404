#include "components/runtime/common/daemon_cli.h"

#include <cstdio>

#include "base/result.h"
#include "components/runtime/common/module_paths.h"
#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/common/service_host.h"

namespace qm {

const std::vector<MessageDefault>& MessageDefaults() {
  static const std::vector<MessageDefault> defaults = {
      {"installed", "The service is installed."},
      {"reinstalled", "The service was installed already; its settings are renewed."},
      {"started", "The service is running."},
      {"already_running", "The service was running already."},
      {"stopped", "The service is stopped."},
      {"already_stopped", "The service was not running."},
      {"removed", "The service is removed."},
      {"already_removed", "The service was not installed."},
      {"refreshed", "Certificates refreshed. Tokens present:"},
      {"no_services", "This Windows has no services (Windows 95, 98, ME); nothing was done."},
      {"manager_failed", "The service manager cannot be opened."},
      {"install_failed", "The service cannot be installed."},
      {"not_installed", "The service is not installed."},
      {"start_failed", "The service did not start."},
      {"stop_failed", "The service cannot be stopped."},
      {"delete_failed", "The service cannot be removed."},
      {"timed_out", "The service did not answer in time."},
      {"not_under_manager", "--service is for the service manager only."},
      {"usage_error", "Unknown or conflicting switches; -h lists them."},
      {"internal", "Out of memory."},
      {"help_usage", "Usage: qmcertd.exe -i [-s] [-a] | -s | -r [-a] | -t | -u [-s] | -h"},
      {"help_i", "  -i  install the certificate daemon as the service qmCertD"},
      {"help_s", "  -s  with -i or alone: start the service; with -u: silent, print only failures"},
      {"help_a", "  -a  with -i: start with Windows (else on demand); with -r: no further effect"},
      {"help_r", "  -r  copy the certificates of present tokens into the user's store, then exit"},
      {"help_t", "  -t  stop the service and wait until it has ended"},
      {"help_u", "  -u  remove the service (stopping it first) and the daemon's log"},
      {"help_h", "  -h  this help"},
      {"help_codes",
       "Exit codes: 0 done (also when already done), 1 switches, 2 no services, 3 service manager, "
       "4 install, 5 not installed, 6 start, 7 stop, 8 remove, 9 time-out."},
  };
  return defaults;
}

std::string MessageText(const MessageTable* table, const char* key) {
  if (table) {
    auto found = table->find(key);
    if (found != table->end() && !found->second.empty()) return found->second;
  }
  for (const MessageDefault& message : MessageDefaults())
    if (std::string(message.key) == key) return message.english;
  return key;
}

char SwitchLetter(const char* arg) {
  if (!arg || (arg[0] != '-' && arg[0] != '/') || arg[1] == '\0' || arg[2] != '\0') return 0;
  char c = arg[1];
  if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return (c >= 'a' && c <= 'z') || c == '?' ? c : 0;
}

std::string ServiceCommandLine() { return "\"" + ModulePath(nullptr) + "\" " + kServiceSwitch; }

void PrintMessage(const CliOutput& out, const std::string& text) {
  if (out.quiet) return;
  std::printf("%s: %s\n", out.program, text.c_str());
  std::fflush(stdout);
}

void PrintFailure(const CliOutput& out, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", out.program, text.c_str());
  std::fflush(stderr);
}

DaemonResult ReportOutcome(const CliOutput& out, const ServiceOutcome& outcome, const char* done_key,
                           const char* already_key) {
  if (outcome.code == DaemonResult::kOk) {
    PrintMessage(out, MessageText(out.table, outcome.already ? already_key : done_key));
    return outcome.code;
  }
  static const struct {
    DaemonResult code;
    const char* key;
  } kFailureKeys[] = {
      {DaemonResult::kNoServices, "no_services"},       {DaemonResult::kManagerFailed, "manager_failed"},
      {DaemonResult::kInstallFailed, "install_failed"}, {DaemonResult::kNotInstalled, "not_installed"},
      {DaemonResult::kStartFailed, "start_failed"},     {DaemonResult::kStopFailed, "stop_failed"},
      {DaemonResult::kDeleteFailed, "delete_failed"},   {DaemonResult::kTimedOut, "timed_out"},
  };
  const char* key = "internal";
  for (const auto& failure : kFailureKeys)
    if (failure.code == outcome.code) key = failure.key;
  std::string text = MessageText(out.table, key);
  if (outcome.error) text += " (" + std::to_string(outcome.error) + ")";
  PrintFailure(out, text);
  return outcome.code;
}

int DaemonMain(const char* program, DaemonResult (*run)(int argc, char** argv), int argc, char** argv) {
  try {
    return ToInt(run(argc, argv));
  } catch (...) {
    std::fprintf(stderr, "%s: out of memory\n", program);
    return ToInt(DaemonResult::kInternal);
  }
}

}  // namespace qm

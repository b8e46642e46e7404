// qmslotd.exe: the slot daemon. -i installs the service qmSlotD, -s starts it, -t stops it, -u
// removes it and its log; the service manager runs it with --service. Exit codes: DaemonResult.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "base/result.h"
#include "components/runtime/common/daemon_cli.h"
#include "components/runtime/common/daemon_log.h"
#include "components/runtime/common/module_paths.h"
#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/common/service_control.h"
#include "components/runtime/common/service_host.h"
#include "components/runtime/slotd/slot_watch.h"

namespace {

constexpr char kProgram[] = "qmslotd";
constexpr char kServiceName[] = "qmSlotD";
constexpr char kDisplayName[] = "QM KX2 slot daemon";
constexpr char kDescription[] = "Watches for KX2 token devices and smart-card readers arriving and leaving.";

void PrintHelp() {
  std::printf(
      "Usage: qmslotd.exe -i | -s | -t | -u | -h\n"
      "  -i  install the slot daemon as the service qmSlotD (automatic start)\n"
      "  -s  start the service and wait until it runs\n"
      "  -t  stop the service and wait until it has ended\n"
      "  -u  remove the service (stopping it first) and the daemon's log\n"
      "  -h  this help\n"
      "Exit codes: 0 done (also when already done), 1 switches, 2 no services, 3 service manager,\n"
      "4 install, 5 not installed, 6 start, 7 stop, 8 remove, 9 time-out.\n");
}

qm::DaemonResult Run(int argc, char** argv) {
  const std::string folder = qm::FolderOf(qm::ModulePath(nullptr));
  qm::DaemonLog log = qm::DaemonLogFor(folder, kProgram);
  qm::CliOutput out = {kProgram, nullptr};
  if (argc == 2 && std::strcmp(argv[1], qm::kServiceSwitch) == 0) {
    qm::SlotWatch watch = {folder, log};
    qm::DaemonResult result = qm::ServiceHostRun({kServiceName, qm::SlotWatchRun, &watch});
    if (result != qm::DaemonResult::kOk) qm::PrintFailure(out, qm::MessageText(nullptr, "not_under_manager"));
    return result;
  }
  char letter = argc == 2 ? qm::SwitchLetter(argv[1]) : 0;
  if (letter == 'h' || letter == '?') {
    PrintHelp();
    return qm::DaemonResult::kOk;
  }
  if (letter != 'i' && letter != 's' && letter != 't' && letter != 'u') {
    qm::PrintFailure(out, qm::MessageText(nullptr, "usage_error"));
    return qm::DaemonResult::kUsage;
  }
  if (!qm::IsNtPlatform()) {
    qm::PrintFailure(out, qm::MessageText(nullptr, "no_services"));
    return qm::DaemonResult::kNoServices;
  }
  switch (letter) {
    case 'i': {
      qm::ServiceConfig config = {kServiceName, kDisplayName, kDescription, qm::ServiceCommandLine(),
                                  SERVICE_AUTO_START};
      qm::ServiceOutcome outcome = qm::ServiceInstall(config);
      if (outcome.code == qm::DaemonResult::kOk)
        qm::LogWrite(log, qm::log_level::kEvents, "service installed: " + config.command_line);
      return qm::ReportOutcome(out, outcome, "installed", "reinstalled");
    }
    case 's':
      return qm::ReportOutcome(out, qm::ServiceStart(kServiceName, qm::kServiceWaitMs), "started", "already_running");
    case 't':
      return qm::ReportOutcome(out, qm::ServiceStop(kServiceName, qm::kServiceWaitMs), "stopped", "already_stopped");
    default: {
      qm::ServiceOutcome outcome = qm::ServiceDelete(kServiceName, qm::kServiceWaitMs);
      if (outcome.code == qm::DaemonResult::kOk) qm::LogRemove(log);
      return qm::ReportOutcome(out, outcome, "removed", "already_removed");
    }
  }
}

}  // namespace

int main(int argc, char** argv) { return qm::DaemonMain(kProgram, Run, argc, argv); }

// qmcertd.exe: the certificate daemon, service qmCertD. Switches (-h lists them): -i install,
// -s start (with -u: silent), -a automatic start, -r refresh the user's certificates, -t stop,
// -u remove. Messages come from <folder>\lang\qmcertd_<language>.lng. Exit codes: DaemonResult.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <utility>

#include "base/result.h"
#include "components/runtime/certd/cert_watch.h"
#include "components/runtime/common/daemon_cli.h"
#include "components/runtime/common/daemon_log.h"
#include "components/runtime/common/message_table.h"
#include "components/runtime/common/module_paths.h"
#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/common/service_control.h"
#include "components/runtime/common/service_host.h"

namespace {

constexpr char kProgram[] = "qmcertd";
constexpr char kServiceName[] = "qmCertD";
constexpr char kDisplayName[] = "QM KX2 certificate daemon";
constexpr char kDescription[] = "Follows KX2 tokens arriving and leaving for their certificates.";

struct Switches {
  bool install = false;
  bool start = false;
  bool automatic = false;
  bool refresh = false;
  bool stop = false;
  bool remove = false;
  bool help = false;
  bool silent = false;
};

// False for an unknown switch or a combination that is not one of the documented ones.
bool ParseSwitches(int argc, char** argv, Switches* s) {
  bool given_s = false;
  const std::pair<char, bool*> letters[] = {{'i', &s->install}, {'s', &given_s}, {'a', &s->automatic},
                                            {'r', &s->refresh}, {'t', &s->stop}, {'u', &s->remove},
                                            {'h', &s->help},    {'?', &s->help}};
  for (int i = 1; i < argc; ++i) {
    char letter = qm::SwitchLetter(argv[i]);
    bool* flag = nullptr;
    for (const auto& known : letters)
      if (known.first == letter) flag = known.second;
    if (!flag) return false;
    *flag = true;
  }
  if (s->help) return true;
  s->silent = given_s && s->remove;
  s->start = given_s && !s->remove;
  int actions = (s->install || s->start) + s->refresh + s->stop + s->remove;
  if (actions != 1) return false;
  if (s->automatic && !s->install && !s->refresh) return false;
  return true;
}

qm::MessageTable LoadMessages(const std::string& folder) {
  std::string bytes;
  for (unsigned id : qm::LanguageCandidates(::GetUserDefaultLangID()))
    if (qm::ReadWholeFile(folder + "\\lang\\qmcertd_" + std::to_string(id) + ".lng", &bytes))
      return qm::ParseMessageTable(bytes);
  return qm::MessageTable();
}

void PrintHelp(const qm::CliOutput& out) {
  for (const char* key :
       {"help_usage", "help_i", "help_s", "help_a", "help_r", "help_t", "help_u", "help_h", "help_codes"})
    std::printf("%s\n", qm::MessageText(out.table, key).c_str());
}

qm::DaemonResult ServiceSteps(const Switches& s, const qm::CertWatch& watch, const qm::CliOutput& out) {
  if (s.stop)
    return qm::ReportOutcome(out, qm::ServiceStop(kServiceName, qm::kServiceWaitMs), "stopped", "already_stopped");
  if (s.remove) {
    qm::ServiceOutcome outcome = qm::ServiceDelete(kServiceName, qm::kServiceWaitMs);
    if (outcome.code == qm::DaemonResult::kOk) qm::LogRemove(watch.log);
    return qm::ReportOutcome(out, outcome, "removed", "already_removed");
  }
  if (s.install) {
    qm::ServiceConfig config = {kServiceName, kDisplayName, kDescription, qm::ServiceCommandLine(),
                                static_cast<DWORD>(s.automatic ? SERVICE_AUTO_START : SERVICE_DEMAND_START)};
    qm::ServiceOutcome outcome = qm::ServiceInstall(config);
    if (outcome.code == qm::DaemonResult::kOk)
      qm::LogWrite(watch.log, qm::log_level::kEvents, "service installed: " + config.command_line);
    QM_RETURN_IF_FAILED(qm::ReportOutcome(out, outcome, "installed", "reinstalled"));
    if (!s.start) return qm::DaemonResult::kOk;
  }
  return qm::ReportOutcome(out, qm::ServiceStart(kServiceName, qm::kServiceWaitMs), "started", "already_running");
}

qm::DaemonResult Run(int argc, char** argv) {
  const std::string folder = qm::FolderOf(qm::ModulePath(nullptr));
  qm::CertWatch watch = {folder, qm::DaemonLogFor(folder, kProgram)};
  if (argc == 2 && std::strcmp(argv[1], qm::kServiceSwitch) == 0) {
    qm::DaemonResult result = qm::ServiceHostRun({kServiceName, qm::CertWatchRun, &watch});
    if (result != qm::DaemonResult::kOk)
      qm::PrintFailure({kProgram, nullptr}, qm::MessageText(nullptr, "not_under_manager"));
    return result;
  }
  const qm::MessageTable messages = LoadMessages(folder);
  qm::CliOutput out = {kProgram, &messages};
  Switches s;
  if (!ParseSwitches(argc, argv, &s)) {
    qm::PrintFailure(out, qm::MessageText(out.table, "usage_error"));
    return qm::DaemonResult::kUsage;
  }
  if (s.help) {
    PrintHelp(out);
    return qm::DaemonResult::kOk;
  }
  out.quiet = s.silent;
  if (s.refresh) {
    // Needs no service manager: works on Windows 98 as well.
    DWORD tokens = qm::CertRefresh(watch);
    qm::PrintMessage(out, qm::MessageText(out.table, "refreshed") + " " + std::to_string(tokens));
    return qm::DaemonResult::kOk;
  }
  if (!qm::IsNtPlatform()) {
    // There is no service to remove, but the refresh above works here and writes the daemon's
    // log into the product folder; a removal takes it away, or the folder could never go.
    if (s.remove) qm::LogRemove(watch.log);
    qm::PrintFailure(out, qm::MessageText(out.table, "no_services"));
    return qm::DaemonResult::kNoServices;
  }
  return ServiceSteps(s, watch, out);
}

}  // namespace

int main(int argc, char** argv) { return qm::DaemonMain(kProgram, Run, argc, argv); }

// What the two daemons' command lines share: switches, messages (English, or from a language
// table) and the mapping of service outcomes to one line and an exit code.
#ifndef QM_COMPONENTS_RUNTIME_COMMON_DAEMON_CLI_H_
#define QM_COMPONENTS_RUNTIME_COMMON_DAEMON_CLI_H_

#include <windows.h>

#include <string>
#include <vector>

#include "components/runtime/common/message_table.h"
#include "components/runtime/common/service_control.h"

namespace qm {

// Set by the slot daemon when a device of ours arrives or leaves; the certificate daemon waits
// on it. Both services run in the services' session, where the plain name is shared.
constexpr char kSlotChangeEvent[] = "QM KX2 slot change";

struct MessageDefault {
  const char* key;
  const char* english;
};
// Every message key with its English text; language files carry the same keys.
const std::vector<MessageDefault>& MessageDefaults();
// |table|'s text for |key|, else the English one.
std::string MessageText(const MessageTable* table, const char* key);

// "-x" or "/x", one letter, either case: the letter in lower case, else 0.
char SwitchLetter(const char* arg);
// The service's command line: this program's full path in quotes, then the service switch.
std::string ServiceCommandLine();

struct CliOutput {
  const char* program;        // "qmslotd"
  const MessageTable* table;  // null: English
  bool quiet = false;         // successes print nothing; failures still do
};

void PrintMessage(const CliOutput& out, const std::string& text);
void PrintFailure(const CliOutput& out, const std::string& text);

// Prints the outcome: |done_key| or |already_key| on success, else the failure's message and the
// Win32 error. Returns outcome.code.
// A daemon program's main: |run|'s result as the exit code, kInternal with a line on stderr
// when it runs out of memory.
int DaemonMain(const char* program, DaemonResult (*run)(int argc, char** argv), int argc, char** argv);

DaemonResult ReportOutcome(const CliOutput& out, const ServiceOutcome& outcome, const char* done_key,
                           const char* already_key);

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_COMMON_DAEMON_CLI_H_

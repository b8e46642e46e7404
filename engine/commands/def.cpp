// DEF NAME "VALUE": the two error-stop settings that decide whether a chapter list goes on after
// a failing chapter. Other names are ignored.
#include "engine/api/engine_state.h"
#include "engine/commands/dispatcher.h"
#include "engine/log/setup_log.h"
#include "engine/script/args.h"
#include "qmsetup/results.h"

namespace qm {
namespace {

void DefSetFlag(int* flag, const std::string& value) {
  if (value == "FALSE") *flag = 0;
  if (value == "TRUE") *flag = 1;
}

}  // namespace

int DefCommand(const std::string& args) {
  // The name runs from after the first blank to the next blank; the value is the outer quoted text.
  size_t first_blank = args.find(' ');
  size_t name_end = first_blank == std::string::npos ? std::string::npos : args.find(' ', first_blank + 1);
  std::string value;
  if (name_end == std::string::npos || !ArgsOuterQuoted(args, &value)) {
    WriteLogLine("DEF data invalid, a name and a value in double quotes are needed:" + args);
    return engine_code::kInvalidArgument;
  }
  const std::string name = args.substr(first_blank + 1, name_end - first_blank - 1);
  EngineState& state = EngineGetState();
  if (name == "INSTALLERRSTOP") {
    DefSetFlag(&state.install_error_stop, value);
  } else if (name == "UNINSTALLERRSTOP") {
    DefSetFlag(&state.uninstall_error_stop, value);
  }
  return engine_code::kOk;
}

}  // namespace qm

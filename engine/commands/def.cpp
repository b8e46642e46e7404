// DEF NAME "VALUE": the two error-stop settings that decide whether a chapter list goes on after
// a failing chapter. Other names, and values other than "TRUE" and "FALSE", change nothing.
#include "engine/commands/commands.h"

namespace qm {
namespace {

void DefSetFlag(int* flag, const std::string& value) {
  if (value == "FALSE") *flag = 0;
  if (value == "TRUE") *flag = 1;
}

}  // namespace

EngineResult ExecuteDef(const CommandContext& context, const CommandRecord& record) {
  if (!record.well_formed) return RejectMalformed(context, record);
  if (record.subject == "INSTALLERRSTOP") {
    DefSetFlag(&context.effects.install_error_stop, record.value);
  } else if (record.subject == "UNINSTALLERRSTOP") {
    DefSetFlag(&context.effects.uninstall_error_stop, record.value);
  }
  return EngineResult::kOk;
}

}  // namespace qm

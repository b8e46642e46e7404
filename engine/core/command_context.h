// What a command receives: the folders it reads, the variables VAR defines, the effects it may
// change, the log and the system. Built by the dispatcher for each chapter; commands never reach
// the engine's module state. Portable.
#ifndef QM_ENGINE_CORE_COMMAND_CONTEXT_H_
#define QM_ENGINE_CORE_COMMAND_CONTEXT_H_

#include <string>
#include <vector>

#include "engine/core/system.h"
#include "engine/log/setup_log.h"
#include "engine/script/variables.h"

namespace qm {

// Everything a command may change besides the variables.
struct CommandEffects {
  int install_error_stop = 0;    // DEF INSTALLERRSTOP
  int uninstall_error_stop = 0;  // DEF UNINSTALLERRSTOP
  int restart_needed = 0;        // work was deferred to the next restart
  int last_copy = 0;             // the last COPY copied: COPYIF follows it
  std::vector<ModuleHandle> loaded_libraries;  // CALLed libraries, freed when the chapter ends
};

struct CommandContext {
  const std::string& unpack_folder;         // CHECK's relative paths are below it
  const std::string& program_files_folder;  // the product folder goes with the last record
  VariableTable& variables;
  CommandEffects& effects;
  LogWriter& log;
  System& system;

  void Log(const std::string& line) const { LogWriteLine(log, line); }
};

}  // namespace qm

#endif  // QM_ENGINE_CORE_COMMAND_CONTEXT_H_

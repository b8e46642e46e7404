// The engine's process-wide state: one record per loaded engine module, zeroed at load.
#ifndef QM_ENGINE_CORE_ENGINE_STATE_H_
#define QM_ENGINE_CORE_ENGINE_STATE_H_

#include <windows.h>

#include <string>
#include <vector>

#include "engine/core/command_context.h"
#include "engine/script/script.h"
#include "engine/script/variables.h"

namespace qm {

struct EngineState {
  HMODULE engine_module = nullptr;
  HANDLE instance_marker = nullptr;  // "QM Setup Mutex": only marks that a process has us loaded
  bool instance_busy = false;        // another process had the engine loaded before us
  int install_mode = 0;  // 1 install, 0 uninstall
  int language_id = 0;
  // Folders carry no trailing "\" (the installation folder is kept as given).
  std::string system_folder;
  std::string program_files_folder;
  std::string windows_folder;
  std::string windows_temp_folder;
  std::string install_folder;
  std::string engine_folder;
  std::string unpack_folder;
  Script script;  // line list and chapter table, rebuilt by each Prepare
  VariableTable variables;  // never emptied while the module is loaded
  CommandEffects effects;   // what the commands of a chapter change
};

// The context a chapter's commands receive: the state's folders, variables and effects.
CommandContext ChapterContext(EngineState& state, System& system);

// The state of this module, made on the first request.
EngineState& EngineGetState();
// Frees it; the module is being unloaded.
void EngineDestroyState();

}  // namespace qm

#endif  // QM_ENGINE_CORE_ENGINE_STATE_H_

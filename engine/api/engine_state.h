// The engine's process-wide state: one record per loaded engine module, zeroed at load.
#ifndef QM_ENGINE_API_ENGINE_STATE_H_
#define QM_ENGINE_API_ENGINE_STATE_H_

#include <windows.h>

#include <string>
#include <vector>

#include "engine/script/script.h"
#include "engine/script/variables.h"

namespace qm {

struct EngineState {
  HMODULE engine_module = nullptr;
  HANDLE instance_marker = nullptr;  // "QM Setup Mutex": only marks that a process has us loaded
  bool instance_busy = false;        // another process had the engine loaded before us
  int install_error_stop = 0;
  int uninstall_error_stop = 0;
  int restart_needed = 0;
  int install_mode = 0;  // 1 install, 0 uninstall
  int language_id = 0;
  int last_copy = 0;
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
  std::vector<HMODULE> loaded_libraries;  // released by the dispatcher after every chapter
};

// The state of this module, made on the first request.
EngineState& EngineGetState();
// Frees it; the module is being unloaded.
void EngineDestroyState();

}  // namespace qm

#endif  // QM_ENGINE_API_ENGINE_STATE_H_

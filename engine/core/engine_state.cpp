#include "engine/core/engine_state.h"

namespace qm {
namespace {

EngineState* g_state = nullptr;

}  // namespace

CommandContext ChapterContext(EngineState& state, System& system) {
  return CommandContext{state.unpack_folder, state.program_files_folder, state.variables, state.effects,
                        LogGetWriter(),      system};
}

EngineState& EngineGetState() {
  if (!g_state) g_state = new EngineState;
  return *g_state;
}

void EngineDestroyState() {
  delete g_state;
  g_state = nullptr;
}

}  // namespace qm

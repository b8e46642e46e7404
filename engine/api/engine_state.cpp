#include "engine/api/engine_state.h"

namespace qm {
namespace {

EngineState* g_state = nullptr;

}  // namespace

EngineState& EngineGetState() {
  if (!g_state) g_state = new EngineState;
  return *g_state;
}

void EngineDestroyState() {
  delete g_state;
  g_state = nullptr;
}

}  // namespace qm

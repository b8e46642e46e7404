#include "engine/api/engine_state.h"

namespace qm {

EngineState& EngineGetState() {
  static EngineState* state = new EngineState;  // outlives static destructors run at detach
  return *state;
}

}  // namespace qm

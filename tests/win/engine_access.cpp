#include "tests/win/engine_access.h"

#include "engine/api/win32_system.h"
#include "engine/commands/dispatcher.h"
#include "engine/core/engine_state.h"

namespace qmtest {
namespace {

qm::Win32System& System() {
  static qm::Win32System system(qm::EngineGetState());
  return system;
}

}  // namespace

const qm::CommandContext& EngineContext() {
  static const qm::CommandContext context = qm::ChapterContext(qm::EngineGetState(), System());
  return context;
}

qm::EngineResult RunChapter(const std::string& name) {
  qm::EngineState& state = qm::EngineGetState();
  return qm::RunChapter(state.script, qm::ChapterContext(state, System()), name);
}

}  // namespace qmtest

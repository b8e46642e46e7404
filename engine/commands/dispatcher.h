// Runs one chapter of the loaded script: each parsed line goes to its command's executor, the
// first result other than kOk ends the chapter, and libraries loaded by CALL are released after it.
#ifndef QM_ENGINE_COMMANDS_DISPATCHER_H_
#define QM_ENGINE_COMMANDS_DISPATCHER_H_

#include <string>

#include "engine/commands/commands.h"
#include "engine/script/script.h"

namespace qm {

// kOk; kInvalidArgument with no script or an empty name; kChapterNotFound; else the first
// failing result.
EngineResult RunChapter(const Script& script, const CommandContext& context, const std::string& name);

// RunChapter with other executors, indexed by CommandId (the tests' stand-ins).
EngineResult RunChapterWith(const Script& script, const CommandContext& context, const std::string& name,
                            const Executor* executors);

// Frees the libraries CALL loaded: when a chapter ends, and when the engine is unloaded.
void ReleaseChapterLibraries(CommandEffects& effects, System& system);

}  // namespace qm

#endif  // QM_ENGINE_COMMANDS_DISPATCHER_H_

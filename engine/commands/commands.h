// The executors, one per row of the command table (engine/script/commands.inc): ExecuteName for
// the row Name. Each gets the chapter's context and the parsed line, and returns the command's
// result; the first result other than kOk ends the chapter.
#ifndef QM_ENGINE_COMMANDS_COMMANDS_H_
#define QM_ENGINE_COMMANDS_COMMANDS_H_

#include "base/result.h"
#include "engine/core/command_context.h"
#include "engine/script/grammar.h"
#include "qmsetup/results.h"

namespace qm {

using Executor = EngineResult (*)(const CommandContext& context, const CommandRecord& record);

#define QM_COMMAND(name, ...) EngineResult Execute##name(const CommandContext& context, const CommandRecord& record);
#include "engine/script/commands.inc"
#undef QM_COMMAND

// A record whose line lacks the quotes, commas or braces its command needs: logs
// "<command> data invalid, <usage>:<arguments>" and gives kInvalidArgument.
EngineResult RejectMalformed(const CommandContext& context, const CommandRecord& record);

// A path field with its placeholders expanded, unless it is absolute already: kOk or
// kVariableUndefined.
EngineResult ExpandPath(const CommandContext& context, std::string* path);

}  // namespace qm

#endif  // QM_ENGINE_COMMANDS_COMMANDS_H_

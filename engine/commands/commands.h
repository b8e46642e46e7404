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

// What RUN and CALL start or load, their fields expanded (the text first).
struct StartableLine {
  std::string path;    // the program or library as the line names it
  std::string text;    // the parameters or the parameter
  std::string tested;  // the full path: the file the existence test found is the one started or loaded
};

// kOk, kInvalidArgument (malformed, or a path that does not fit; |what| names it in the message)
// or kVariableUndefined.
EngineResult ExpandStartable(const CommandContext& context, const CommandRecord& record, const char* what,
                             StartableLine* line);

// A path field with its placeholders expanded, unless it is absolute already: kOk or
// kVariableUndefined.
EngineResult ExpandPath(const CommandContext& context, std::string* path);

}  // namespace qm

#endif  // QM_ENGINE_COMMANDS_COMMANDS_H_

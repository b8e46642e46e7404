// RUN "program", "parameters", WAIT|NOWAIT starts a program, waiting for it to end or not.
// RUNIF does the same only while no other installed product counts the program (its reference
// count is at most 1). The program's exit code is not read.
#include "engine/commands/commands.h"
#include "engine/log/log_text.h"
#include "engine/ops/ref_count.h"
#include "engine/script/paths.h"
#include "engine/script/variables.h"

namespace qm {
namespace {

constexpr uint32_t kSettleAfterWaitMs = 500;  // lets a registered service settle before the next line

struct RunLine {
  std::string program;
  std::string parameters;
  std::string tested;  // the program's full path: the file the existence test found is the one started
};

// Steps shared by RUN and RUNIF up to the file test: kOk, kInvalidArgument, kFileMissing or
// kVariableUndefined.
EngineResult RunPrepare(const CommandContext& context, const CommandRecord& record, RunLine* line) {
  if (!record.well_formed) return RejectMalformed(context, record);
  line->program = record.subject;
  line->parameters = record.value;
  QM_RETURN_IF_FAILED(VariablesExpand(context.variables, &line->parameters));
  QM_RETURN_IF_FAILED(ExpandPath(context, &line->program));
  if (!PathFits(line->program, "Run program")) return EngineResult::kInvalidArgument;
  line->tested = PathAsTested(line->program);
  if (!context.system.PathExists(line->tested)) {
    context.Log(log_text::RunMissing(line->program));
    return EngineResult::kFileMissing;
  }
  return EngineResult::kOk;
}

// Starts the program and, with WAIT, waits for it: kOk, kInvalidArgument (unknown wait flag or a
// command line that does not fit 259 characters) or kProgramNotStarted.
EngineResult RunStart(const CommandContext& context, const CommandRecord& record, const RunLine& line) {
  const bool wait = record.Has(kRunWait);
  if (!wait && !record.Has(kRunNoWait)) {
    context.Log(log_text::RunWaitFlagInvalid(record.flag_field));
    return EngineResult::kInvalidArgument;
  }
  // A path with a blank is quoted: unquoted, "C:\Program Files\x.exe" would start C:\Program.exe.
  const bool quote = line.program.find(' ') != std::string::npos;
  const std::string command = (quote ? "\"" + line.program + "\"" : line.program) + " " + line.parameters;
  if (!PathFits(command, "Run command line")) return EngineResult::kInvalidArgument;
  // Named outright: a relative program would otherwise be looked for in the host's folder first.
  const SystemError error = context.system.StartProcess(line.tested, command, wait);
  if (error != kSystemOk) {
    context.Log(log_text::RunNotStarted(command) + LogLastErrorSuffix(error));
    return EngineResult::kProgramNotStarted;
  }
  if (wait) context.system.Pause(kSettleAfterWaitMs);
  context.Log(log_text::RunStarted(command, wait));
  return EngineResult::kOk;
}

}  // namespace

EngineResult ExecuteRun(const CommandContext& context, const CommandRecord& record) {
  RunLine line;
  QM_RETURN_IF_FAILED(RunPrepare(context, record, &line));
  return RunStart(context, record, line);
}

EngineResult ExecuteRunIf(const CommandContext& context, const CommandRecord& record) {
  RunLine line;
  QM_RETURN_IF_FAILED(RunPrepare(context, record, &line));
  const int count = GetReferenceCount(context, line.program);
  context.Log(log_text::ReferenceCountIs(line.program, count));
  if (count > 1) return EngineResult::kOk;  // another product still uses it
  return RunStart(context, record, line);
}

}  // namespace qm

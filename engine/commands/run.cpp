// RUN "program", "parameters", WAIT|NOWAIT starts a program, waiting for it to end or not.
// RUNIF does the same only while no other installed product counts the program (its reference
// count is at most 1). The program's exit code is not read.
#include "engine/commands/commands.h"
#include "engine/log/log_text.h"
#include "engine/ops/ref_count.h"
#include "engine/script/paths.h"

namespace qm {
namespace {

constexpr uint32_t kSettleAfterWaitMs = 500;  // lets a registered service settle before the next line

// Steps shared by RUN and RUNIF up to the file test: kOk, kInvalidArgument, kFileMissing or
// kVariableUndefined.
EngineResult RunPrepare(const CommandContext& context, const CommandRecord& record, StartableLine* line) {
  QM_RETURN_IF_FAILED(ExpandStartable(context, record, "Run program", line));
  if (!context.system.PathExists(line->tested)) {
    context.Log(log_text::RunMissing(line->path));
    return EngineResult::kFileMissing;
  }
  return EngineResult::kOk;
}

// Starts the program and, with WAIT, waits for it: kOk, kInvalidArgument (unknown wait flag or a
// command line that does not fit 259 characters) or kProgramNotStarted.
EngineResult RunStart(const CommandContext& context, const CommandRecord& record, const StartableLine& line) {
  const bool wait = record.Has(kRunWait);
  if (!wait && !record.Has(kRunNoWait)) {
    context.Log(log_text::RunWaitFlagInvalid(record.flag_field));
    return EngineResult::kInvalidArgument;
  }
  // A path with a blank is quoted: unquoted, "C:\Program Files\x.exe" would start C:\Program.exe.
  const bool quote = line.path.find(' ') != std::string::npos;
  const std::string command = (quote ? "\"" + line.path + "\"" : line.path) + " " + line.text;
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
  StartableLine line;
  QM_RETURN_IF_FAILED(RunPrepare(context, record, &line));
  return RunStart(context, record, line);
}

EngineResult ExecuteRunIf(const CommandContext& context, const CommandRecord& record) {
  StartableLine line;
  QM_RETURN_IF_FAILED(RunPrepare(context, record, &line));
  const int count = GetReferenceCount(context, line.path);
  context.Log(log_text::ReferenceCountIs(line.path, count));
  if (count > 1) return EngineResult::kOk;  // another product still uses it
  return RunStart(context, record, line);
}

}  // namespace qm

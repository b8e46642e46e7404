// CALL "library", Function, "parameter" loads a library, calls one of its exports (stdcall, one
// text argument) and takes its result as the command's. A library whose function succeeded
// stays loaded until the chapter ends. CALLIF calls only while no other installed product counts
// the library (its reference count is at most 1) and logs less.
#include "engine/commands/commands.h"
#include "engine/log/log_text.h"
#include "engine/ops/ref_count.h"

namespace qm {
namespace {

std::string CallDescription(const CommandRecord& record, const StartableLine& line) {
  return log_text::CallDescription(line.path, record.function, line.text);
}

// Loads, looks up and calls; on success the library joins the chapter's list. |quiet| (CALLIF)
// leaves the failures unlogged. A nonzero result of the function is the command's result.
EngineResult CallInvoke(const CommandContext& context, const CommandRecord& record, const StartableLine& line, bool quiet) {
  System& system = context.system;
  ModuleHandle library = system.LoadModule(line.tested);
  if (!library) {
    if (!quiet) context.Log(log_text::kCallNotLoaded);
    return EngineResult::kLibraryNotLoaded;
  }
  ExportAddress entry = system.FindExport(library, record.function);
  if (!entry) {
    if (!quiet) context.Log(log_text::kCallNoFunction);
    system.ReleaseModule(library);
    return EngineResult::kFunctionMissing;
  }
  const int r = system.CallExport(entry, line.text);
  if (r != 0) {
    if (!quiet) context.Log(log_text::kCallFailed);
    system.ReleaseModule(library);
    return static_cast<EngineResult>(r);
  }
  context.Log(CallDescription(record, line) + log_text::kCallOk);
  context.effects.loaded_libraries.push_back(library);  // released when the chapter ends
  return EngineResult::kOk;
}

}  // namespace

EngineResult ExecuteCall(const CommandContext& context, const CommandRecord& record) {
  StartableLine line;
  QM_RETURN_IF_FAILED(ExpandStartable(context, record, "Call library", &line));
  context.Log(CallDescription(record, line) + log_text::kCallBegin);
  if (!context.system.PathExists(line.tested)) return EngineResult::kFileMissing;
  return CallInvoke(context, record, line, false);
}

EngineResult ExecuteCallIf(const CommandContext& context, const CommandRecord& record) {
  StartableLine line;
  QM_RETURN_IF_FAILED(ExpandStartable(context, record, "Call library", &line));
  if (!context.system.PathExists(line.tested)) return EngineResult::kFileMissing;
  const int count = GetReferenceCount(context, line.path);
  context.Log(log_text::ReferenceCountIs(line.path, count));
  if (count > 1) return EngineResult::kOk;  // another product still uses it
  return CallInvoke(context, record, line, true);
}

}  // namespace qm

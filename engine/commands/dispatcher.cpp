#include "engine/commands/dispatcher.h"

#include "engine/script/paths.h"
#include "engine/script/variables.h"

namespace qm {
namespace {

const Executor kExecutors[] = {
#define QM_COMMAND(name, ...) Execute##name,
#include "engine/script/commands.inc"
#undef QM_COMMAND
};

// Frees what CALL loaded when the chapter ends, however it ends: an executor that throws
// (std::bad_alloc) must not leave its libraries loaded into the next chapter, or for DllMain.
class ChapterLibraries {
 public:
  ChapterLibraries(CommandEffects& effects, System& system) : effects_(effects), system_(system) {}
  ChapterLibraries(const ChapterLibraries&) = delete;
  ChapterLibraries& operator=(const ChapterLibraries&) = delete;
  ~ChapterLibraries() { ReleaseChapterLibraries(effects_, system_); }

 private:
  CommandEffects& effects_;
  System& system_;
};

}  // namespace

void ReleaseChapterLibraries(CommandEffects& effects, System& system) {
  for (ModuleHandle module : effects.loaded_libraries) system.ReleaseModule(module);
  effects.loaded_libraries.clear();
}

EngineResult RunChapter(const Script& script, const CommandContext& context, const std::string& name) {
  return RunChapterWith(script, context, name, kExecutors);
}

EngineResult RunChapterWith(const Script& script, const CommandContext& context, const std::string& name,
                            const Executor* executors) {
  if (script.chapters.empty() || name.empty()) return EngineResult::kInvalidArgument;
  const Chapter* found = ScriptFindChapter(script, name);
  if (!found) return EngineResult::kChapterNotFound;
  const std::vector<CommandRecord> commands = found->commands;  // executors never see the loaded script

  ChapterLibraries libraries(context.effects, context.system);
  for (const CommandRecord& record : commands) {
    const EngineResult r = executors[static_cast<size_t>(record.id())](context, record);
    if (r != EngineResult::kOk) return r;
  }
  return EngineResult::kOk;
}

EngineResult RejectMalformed(const CommandContext& context, const CommandRecord& record) {
  context.Log(GrammarMalformedMessage(record));
  return EngineResult::kInvalidArgument;
}

EngineResult ExpandPath(const CommandContext& context, std::string* path) {
  return IsAbsolutePath(*path) ? EngineResult::kOk : VariablesExpand(context.variables, path);
}

EngineResult ExpandStartable(const CommandContext& context, const CommandRecord& record, const char* what,
                             StartableLine* line) {
  if (!record.well_formed) return RejectMalformed(context, record);
  line->path = record.subject;
  line->text = record.value;
  QM_RETURN_IF_FAILED(VariablesExpand(context.variables, &line->text));
  QM_RETURN_IF_FAILED(ExpandPath(context, &line->path));
  if (!PathFits(line->path, what)) return EngineResult::kInvalidArgument;
  line->tested = PathAsTested(line->path);
  return EngineResult::kOk;
}

}  // namespace qm

#include "engine/commands/dispatcher.h"

#include <windows.h>

#include <cstring>

#include "engine/api/engine_state.h"
#include "engine/log/setup_log.h"
#include "qmsetup/results.h"

namespace qm {
namespace {

// The first seven keep the blank after the keyword at the front of the arguments.
const CommandKeyword kKeywords[] = {
    {"CHECK ", 5, CheckCommand},     {"COPY ", 4, CopyCommand},       {"RUN ", 3, RunCommand},
    {"CALL ", 4, CallCommand},       {"DEL ", 3, DelCommand},         {"VAR ", 3, VarHandler},
    {"DEF ", 3, DefCommand},         {"RUNIF ", 6, RunIfCommand},     {"CALLIF ", 7, CallIfCommand},
    {"COPYIF ", 7, CopyIfCommand},   {"REGPRODUCT ", 11, RegProductCommand},
};

// Frees what CALL loaded when the chapter ends, however it ends: a handler that throws
// (std::bad_alloc) must not leave its libraries loaded into the next chapter, or for DllMain.
class ChapterLibraries {
 public:
  explicit ChapterLibraries(EngineState& state) : state_(state) {}
  ChapterLibraries(const ChapterLibraries&) = delete;
  ChapterLibraries& operator=(const ChapterLibraries&) = delete;
  ~ChapterLibraries() {
    for (HMODULE module : state_.loaded_libraries) ::FreeLibrary(module);
    state_.loaded_libraries.clear();
  }

 private:
  EngineState& state_;
};

}  // namespace

const CommandKeyword* DispatcherKeywords(size_t* count) {
  *count = sizeof(kKeywords) / sizeof(kKeywords[0]);
  return kKeywords;
}

int RunChapter(const std::string& name) {
  size_t count = 0;
  const CommandKeyword* keywords = DispatcherKeywords(&count);
  return RunChapterWith(name, keywords, count);
}

int RunChapterWith(const std::string& name, const CommandKeyword* keywords, size_t count) {
  EngineState& state = EngineGetState();
  if (state.script.chapters.empty() || name.empty()) return engine_code::kInvalidArgument;
  const ChapterLines* found = ScriptFindChapter(state.script, name);
  if (!found) return engine_code::kChapterNotFound;
  const ChapterLines lines = *found;  // handlers never see the loaded script itself

  ChapterLibraries libraries(state);
  int result = engine_code::kOk;
  for (const std::string& line : lines) {
    for (size_t i = 0; i < count; ++i) {
      const CommandKeyword& k = keywords[i];
      if (line.compare(0, std::strlen(k.keyword), k.keyword) != 0) continue;
      result = k.handler(line.substr(k.removed));
      break;
    }
    if (result != engine_code::kOk) break;
  }
  return result;
}

int VarHandler(const std::string& args) { return VarCommand(EngineGetState().variables, args); }


}  // namespace qm

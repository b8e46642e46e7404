#include "engine/script/script.h"

#include "base/fs.h"
#include "base/scoped_file.h"
#include "engine/log/log_text.h"
#include "engine/log/setup_log.h"
#include "qmsetup/results.h"

namespace qm {

std::vector<NumberedLine> ScriptKeptLines(const std::string& text) {
  std::vector<NumberedLine> kept;
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    size_t next = end == std::string::npos ? text.size() : end + 1;
    size_t stop = end == std::string::npos ? text.size() : end;
    // A CR LF pair is one line end, as a text-mode read sees it.
    if (end != std::string::npos && stop > start && text[stop - 1] == '\r') --stop;
    if (stop > start && text[start] != ';') kept.push_back({number, text.substr(start, stop - start)});
    start = next;
  }
  return kept;
}

std::string ScriptChapterName(const std::string& header) {
  return header.size() >= 2 ? header.substr(1, header.size() - 2) : std::string();
}

void ScriptParse(const std::string& text, Script* script) {
  script->lines.clear();
  script->chapters.clear();
  Chapter* current = nullptr;
  Chapter dropped;  // lines of a repeated chapter name go nowhere
  for (NumberedLine& line : ScriptKeptLines(text)) {
    if (line.text[0] == '[') {
      auto inserted = script->chapters.emplace(ScriptChapterName(line.text), Chapter());
      current = inserted.second ? &inserted.first->second : &dropped;
      dropped = Chapter();
    }
    if (current) {
      CommandRecord record;
      if (GrammarParse(line.text, line.number, &record)) current->commands.push_back(std::move(record));
      current->lines.push_back(line.text);
    }
    script->lines.push_back(std::move(line.text));
  }
}

EngineResult ScriptLoad(const std::string& unpack_folder, Script* script) {
  std::string path = unpack_folder + "\\" + kScriptFileName;
  WriteLogLine(log_text::ScriptFileIs(path));
  if (!FsPathExists(path)) {
    WriteLogLine(log_text::kScriptMissing);
    return EngineResult::kFileMissing;
  }
  std::string text;
  ScopedFile file(FsOpen(path, "rb"));
  if (file) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file.get())) > 0) text.append(buffer, n);
  } else {
    WriteLogLine(log_text::ScriptUnreadable(path));
  }
  ScriptParse(text, script);
  if (script->chapters.empty()) {
    WriteLogLine(log_text::kScriptInvalid);
    return EngineResult::kInvalidArgument;
  }
  return EngineResult::kOk;
}

const Chapter* ScriptFindChapter(const Script& script, const std::string& name) {
  auto it = script.chapters.find(name);
  return it == script.chapters.end() ? nullptr : &it->second;
}

}  // namespace qm

#include "engine/script/script.h"

#include "base/fs.h"
#include "base/scoped_file.h"
#include "engine/log/setup_log.h"
#include "qmsetup/results.h"

namespace qm {
namespace {

void ScriptKeepLine(std::string line, Script* script) {
  if (line.empty() || line[0] == ';') return;
  script->lines.push_back(std::move(line));
}

}  // namespace

void ScriptParse(const std::string& text, Script* script) {
  script->lines.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    size_t next = end == std::string::npos ? text.size() : end + 1;
    size_t stop = end == std::string::npos ? text.size() : end;
    // A CR LF pair is one line end, as a text-mode read sees it.
    if (end != std::string::npos && stop > start && text[stop - 1] == '\r') --stop;
    ScriptKeepLine(text.substr(start, stop - start), script);
    start = next;
  }

  script->chapters.clear();
  ChapterLines* current = nullptr;
  ChapterLines dropped;  // lines of a repeated chapter name go nowhere
  for (const std::string& line : script->lines) {
    if (line[0] == '[') {
      std::string name = line.size() >= 2 ? line.substr(1, line.size() - 2) : std::string();
      auto inserted = script->chapters.emplace(name, ChapterLines());
      current = inserted.second ? &inserted.first->second : &dropped;
      dropped.clear();
    }
    if (current) current->push_back(line);
  }
}

int ScriptLoad(const std::string& unpack_folder, Script* script) {
  std::string path = unpack_folder + "\\" + kScriptFileName;
  WriteLogLine("INI file is" + path);
  if (!FsPathExists(path)) {
    WriteLogLine("INI file not exist.");
    return engine_code::kFileMissing;
  }
  std::string text;
  ScopedFile file(FsOpen(path, "rb"));
  if (file) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), file.get())) > 0) text.append(buffer, n);
  } else {
    WriteLogLine("INI file cannot be opened: " + path);
  }
  ScriptParse(text, script);
  if (script->chapters.empty()) {
    WriteLogLine("INI file data invalid.");
    return engine_code::kInvalidArgument;
  }
  return engine_code::kOk;
}

const ChapterLines* ScriptFindChapter(const Script& script, const std::string& name) {
  auto it = script.chapters.find(name);
  return it == script.chapters.end() ? nullptr : &it->second;
}

}  // namespace qm

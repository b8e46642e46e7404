// The installation script qmsetup.ini: kept lines in file order and the chapter table.
#ifndef QM_ENGINE_SCRIPT_SCRIPT_H_
#define QM_ENGINE_SCRIPT_SCRIPT_H_

#include <map>
#include <string>
#include <vector>

#include "engine/script/grammar.h"
#include "qmsetup/results.h"

namespace qm {

using ChapterLines = std::vector<std::string>;  // the header line first, then the chapter's lines

struct Chapter {
  ChapterLines lines;
  std::vector<CommandRecord> commands;  // the lines a keyword starts, in order, parsed
};

struct Script {
  std::vector<std::string> lines;
  // Byte-wise ordered, case-sensitive; the first chapter of a name keeps it.
  std::map<std::string, Chapter> chapters;
};

// One kept line and its 1-based number in the file.
struct NumberedLine {
  int number;
  std::string text;
};

// The lines the engine keeps from a script file's text (CR LF or bare LF line ends): every line
// but empty ones and those starting with ";".
std::vector<NumberedLine> ScriptKeptLines(const std::string& text);

// The name a header line "[name]" gives: its text without the first and the last character.
std::string ScriptChapterName(const std::string& header);

constexpr char kScriptFileName[] = "qmsetup.ini";

// Fills |script| from the text of a script file.
void ScriptParse(const std::string& text, Script* script);

// Loads "<unpack folder>\qmsetup.ini", logging as it goes. kOk, kFileMissing or kInvalidArgument
// (no chapter).
EngineResult ScriptLoad(const std::string& unpack_folder, Script* script);

// The chapter named exactly |name|, or null.
const Chapter* ScriptFindChapter(const Script& script, const std::string& name);

}  // namespace qm

#endif  // QM_ENGINE_SCRIPT_SCRIPT_H_

// The installation script qmsetup.ini: kept lines in file order and the chapter table.
#ifndef QM_ENGINE_SCRIPT_SCRIPT_H_
#define QM_ENGINE_SCRIPT_SCRIPT_H_

#include <map>
#include <string>
#include <vector>

namespace qm {

using ChapterLines = std::vector<std::string>;  // the header line first, then the chapter's lines

struct Script {
  std::vector<std::string> lines;
  // Byte-wise ordered, case-sensitive; the first chapter of a name keeps it.
  std::map<std::string, ChapterLines> chapters;
};

constexpr char kScriptFileName[] = "qmsetup.ini";

// Fills |script| from the text of a script file (CR LF or bare LF line ends).
void ScriptParse(const std::string& text, Script* script);

// Loads "<unpack folder>\qmsetup.ini", logging as it goes. 0, 4 (no such file) or 2 (no chapter).
int ScriptLoad(const std::string& unpack_folder, Script* script);

// The chapter named exactly |name|, or null.
const ChapterLines* ScriptFindChapter(const Script& script, const std::string& name);

}  // namespace qm

#endif  // QM_ENGINE_SCRIPT_SCRIPT_H_

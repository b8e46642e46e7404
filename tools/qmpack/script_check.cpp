#include "tools/qmpack/script_check.h"

#include <algorithm>
#include <map>
#include <set>

#include "base/ascii.h"
#include "engine/script/grammar.h"
#include "engine/script/paths.h"
#include "engine/script/script.h"

namespace qm {
namespace {

const char* const kBuiltIns[] = {"{PF}", "{TMP}", "{SYSDIR}", "{INSTDIR}"};

using Line = NumberedLine;

struct CheckedChapter {
  std::string name;
  int header_line;
  std::vector<Line> lines;
};

class Checker {
 public:
  Checker(const std::vector<std::string>& package_paths) {
    for (const std::string& p : package_paths) package_.insert(AsciiLower(p));
  }

  std::vector<ScriptFinding> Run(const std::string& script) {
    std::vector<CheckedChapter> chapters;
    for (const Line& line : ScriptKeptLines(script)) {
      if (line.text[0] == '[') {
        const std::string name = ScriptChapterName(line.text);
        if (line.text.back() != ']') Find(line.number, "header \"" + line.text + "\" does not end in \"]\"; the chapter is named \"" + name + "\"");
        chapters.push_back({name, line.number, {}});
      } else if (chapters.empty()) {
        Find(line.number, "line before the first chapter is ignored");
      } else {
        chapters.back().lines.push_back(line);
      }
    }
    if (chapters.empty()) {
      Find(0, "the script has no chapter: the engine refuses it");
      return findings_;
    }
    std::map<std::string, const CheckedChapter*> by_name;
    for (const CheckedChapter& c : chapters) {
      if (!by_name.emplace(c.name, &c).second)
        Find(c.header_line, "chapter \"" + c.name + "\" is named before; this one is ignored");
    }
    for (const char* required : {"FILES", "COMMON"})
      if (!by_name.count(required)) Find(0, std::string("no chapter \"") + required + "\": Prepare fails");
    // COMMON's definitions hold for every chapter that runs after Prepare.
    if (by_name.count("COMMON")) CheckChapter(*by_name["COMMON"], &common_);
    for (const auto& entry : by_name) {
      const CheckedChapter& c = *entry.second;
      if (c.name == "COMMON") continue;
      if (c.name == "ACTLIST" || c.name == "UN.ACTLIST") {
        for (const Line& line : c.lines)
          if (!by_name.count(line.text)) Find(line.number, "action list names no chapter \"" + line.text + "\"");
        continue;
      }
      std::set<std::string> defined = c.name == "FILES" ? std::set<std::string>() : common_;
      CheckChapter(c, &defined);
    }
    std::sort(findings_.begin(), findings_.end(),
              [](const ScriptFinding& a, const ScriptFinding& b) { return a.line < b.line; });
    return findings_;
  }

 private:
  void Find(int line, const std::string& message) { findings_.push_back({line, message}); }

  void CheckChapter(const CheckedChapter& chapter, std::set<std::string>* defined) {
    in_files_ = chapter.name == "FILES";
    in_common_ = chapter.name == "COMMON";
    for (const Line& line : chapter.lines) CheckLine(line, defined);
  }

  // Every placeholder of |text| must be built in or defined before.
  void CheckPlaceholders(int line, const std::string& text, const std::set<std::string>& defined) {
    for (size_t open = text.find('{'); open != std::string::npos; open = text.find('{', open + 1)) {
      size_t close = text.find('}', open);
      if (close == std::string::npos) return;
      const std::string name = text.substr(open, close - open + 1);
      const bool built_in = std::find(std::begin(kBuiltIns), std::end(kBuiltIns), name) != std::end(kBuiltIns);
      if (in_files_) {
        Find(line, "placeholder " + name + " in FILES, which runs before any placeholder exists");
      } else if (built_in && (in_common_ && name == "{INSTDIR}")) {
        Find(line, "{INSTDIR} is not defined while COMMON runs (the host sets it later)");
      } else if (!built_in && !defined.count(name)) {
        Find(line, "placeholder " + name + " is not defined by a VAR before it is used");
      }
    }
  }

  // A "{TMP}\..." path must name a file of the package.
  void CheckPackagePath(int line, const std::string& path, const char* what) {
    const std::string prefix = "{TMP}\\";
    if (path.compare(0, prefix.size(), prefix) != 0) return;
    if (!package_.count(AsciiLower(path.substr(prefix.size()))))
      Find(line, std::string(what) + " " + path + " is not in the package");
  }

  void CheckLine(const Line& line, std::set<std::string>* defined) {
    const std::string& t = line.text;
    size_t word_end = 0;
    while (word_end < t.size() && ((t[word_end] >= 'A' && t[word_end] <= 'Z') || t[word_end] == '_')) ++word_end;
    const std::string word = t.substr(0, word_end);
    if (word.empty()) return;  // lower case, blanks, digits: not a command, passed over
    if (!GrammarFind(word)) {
      if (word != "NAME") Find(line.number, "\"" + word + "\" is no command; the line is passed over");
      return;
    }
    CommandRecord r;
    if (!GrammarParse(t, line.number, &r)) {
      Find(line.number, word + " must be followed by one blank; the line is passed over");
      return;
    }
    switch (r.id()) {
      case CommandId::kCheck: return CheckCheck(r);
      case CommandId::kVar: return CheckVar(r, defined);
      case CommandId::kDef: return CheckDef(r);
      case CommandId::kCopy:
      case CommandId::kCopyIf: return CheckCopy(r, *defined);
      case CommandId::kDel: return CheckDel(r, *defined);
      case CommandId::kRun:
      case CommandId::kRunIf: return CheckRun(r, *defined);
      case CommandId::kCall:
      case CommandId::kCallIf: return CheckCall(r, *defined);
      default: return CheckFields(r, *defined);  // a command without checks of its own
    }
  }

  void CheckFields(const CommandRecord& r, const std::set<std::string>& defined) {
    if (!r.well_formed) return Find(r.line, std::string(r.row->keyword) + " is malformed: " + r.row->usage);
    for (const std::string* field : {&r.subject, &r.target, &r.value}) CheckPlaceholders(r.line, *field, defined);
  }

  void CheckCheck(const CommandRecord& r) {
    const std::string& a = r.subject;
    if (!r.well_formed) return Find(r.line, "CHECK needs a path in double quotes");
    if (a.find('{') != std::string::npos)
      return Find(r.line, "CHECK does not expand placeholders: it looks for a file named " + a + " literally");
    if (IsAbsolutePath(a)) return Find(r.line, "CHECK names " + a + ", which is not a file of the package");
    if (!package_.count(AsciiLower(a))) Find(r.line, "CHECK names " + a + ", which is not in the package");
  }

  void CheckVar(const CommandRecord& r, std::set<std::string>* defined) {
    if (!r.well_formed) return Find(r.line, "VAR needs a {NAME} and a value in double quotes");
    CheckPlaceholders(r.line, r.value, *defined);
    if (!defined->insert(r.subject).second) Find(r.line, "VAR " + r.subject + " is defined before; this value is ignored");
  }

  void CheckDef(const CommandRecord& r) {
    if (!r.well_formed) return Find(r.line, "DEF needs a name and a value in double quotes");
    const std::string& a = r.subject;
    if (a != "INSTALLERRSTOP" && a != "UNINSTALLERRSTOP") Find(r.line, "DEF " + a + " is no setting; ignored");
    else if (r.value != "TRUE" && r.value != "FALSE")
      Find(r.line, "DEF " + a + " takes \"TRUE\" or \"FALSE\"; \"" + r.value + "\" changes nothing");
  }

  void CheckCopy(const CommandRecord& r, const std::set<std::string>& defined) {
    const std::string word = r.row->keyword;
    if (!r.well_formed) return Find(r.line, word + " needs a source and a target in double quotes, separated by a comma");
    CheckPlaceholders(r.line, r.subject, defined);
    CheckPlaceholders(r.line, r.target, defined);
    CheckPackagePath(r.line, r.subject, "source");
    if (r.flags == 0) Find(r.line, word + " has no flag (UPDATE, OVERWRITE, ADD_REF_COUNT): it copies nothing");
  }

  void CheckDel(const CommandRecord& r, const std::set<std::string>& defined) {
    if (!r.well_formed) return Find(r.line, "DEL needs a path in double quotes");
    CheckPlaceholders(r.line, r.subject, defined);
    if (r.flags == 0) Find(r.line, "DEL has no option CHECK_REF_COUNT or FORCE: it deletes nothing");
  }

  void CheckRun(const CommandRecord& r, const std::set<std::string>& defined) {
    const std::string word = r.row->keyword;
    if (!r.well_formed) return Find(r.line, word + " needs a program and parameters in double quotes and WAIT or NOWAIT");
    CheckPlaceholders(r.line, r.subject, defined);
    CheckPlaceholders(r.line, r.value, defined);
    CheckPackagePath(r.line, r.subject, "program");
    if (r.flags == 0) Find(r.line, word + " ends in \"" + r.flag_field + "\", not WAIT or NOWAIT: it fails with 2");
    if (r.subject.size() + 1 + r.value.size() >= kPathBufferSize && r.subject.find('{') == std::string::npos)
      Find(r.line, word + " command line is longer than 259 characters");
  }

  void CheckCall(const CommandRecord& r, const std::set<std::string>& defined) {
    const std::string word = r.row->keyword;
    if (!r.well_formed)
      return Find(r.line, word + " needs a library in double quotes, a function and a parameter in double quotes");
    if (r.function.empty()) Find(r.line, word + " names no function");
    CheckPlaceholders(r.line, r.subject, defined);
    CheckPlaceholders(r.line, r.value, defined);
    CheckPackagePath(r.line, r.subject, "library");
  }

  std::set<std::string> package_;
  std::set<std::string> common_;
  bool in_files_ = false;
  bool in_common_ = false;
  std::vector<ScriptFinding> findings_;
};

}  // namespace

std::vector<ScriptFinding> ScriptCheck(const std::string& script, const std::vector<std::string>& package_paths) {
  return Checker(package_paths).Run(script);
}

}  // namespace qm

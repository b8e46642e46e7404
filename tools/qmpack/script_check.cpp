#include "tools/qmpack/script_check.h"

#include <algorithm>
#include <map>
#include <set>

#include "base/ascii.h"
#include "engine/script/args.h"
#include "engine/script/paths.h"

namespace qm {
namespace {

const char* const kKeywords[] = {"CHECK", "COPY", "RUN", "CALL", "DEL", "VAR", "DEF", "RUNIF", "CALLIF", "COPYIF",
                                 "REGPRODUCT"};
const char* const kBuiltIns[] = {"{PF}", "{TMP}", "{SYSDIR}", "{INSTDIR}"};

struct Line {
  int number;
  std::string text;
};

struct Chapter {
  std::string name;
  int header_line;
  std::vector<Line> lines;
};

// The kept lines, each with its line number, the same way the engine keeps them.
std::vector<Line> KeptLines(const std::string& text) {
  std::vector<Line> lines;
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end != std::string::npos && !line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] != ';') lines.push_back({number, line});
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

class Checker {
 public:
  Checker(const std::vector<std::string>& package_paths) {
    for (const std::string& p : package_paths) package_.insert(AsciiLower(p));
  }

  std::vector<ScriptFinding> Run(const std::string& script) {
    std::vector<Chapter> chapters;
    for (const Line& line : KeptLines(script)) {
      if (line.text[0] == '[') {
        std::string name = line.text.size() >= 2 ? line.text.substr(1, line.text.size() - 2) : std::string();
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
    std::map<std::string, const Chapter*> by_name;
    for (const Chapter& c : chapters) {
      if (!by_name.emplace(c.name, &c).second)
        Find(c.header_line, "chapter \"" + c.name + "\" is named before; this one is ignored");
    }
    for (const char* required : {"FILES", "COMMON"})
      if (!by_name.count(required)) Find(0, std::string("no chapter \"") + required + "\": Prepare fails");
    // COMMON's definitions hold for every chapter that runs after Prepare.
    if (by_name.count("COMMON")) CheckChapter(*by_name["COMMON"], &common_);
    for (const auto& entry : by_name) {
      const Chapter& c = *entry.second;
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

  void CheckChapter(const Chapter& chapter, std::set<std::string>* defined) {
    in_files_ = chapter.name == "FILES";
    in_common_ = chapter.name == "COMMON";
    for (const Line& line : chapter.lines) CheckLine(line, defined);
  }

  // Every placeholder of |text| must be built in or defined before.
  void CheckPlaceholders(const Line& line, const std::string& text, const std::set<std::string>& defined) {
    for (size_t open = text.find('{'); open != std::string::npos; open = text.find('{', open + 1)) {
      size_t close = text.find('}', open);
      if (close == std::string::npos) return;
      const std::string name = text.substr(open, close - open + 1);
      const bool built_in = std::find(std::begin(kBuiltIns), std::end(kBuiltIns), name) != std::end(kBuiltIns);
      if (in_files_) {
        Find(line.number, "placeholder " + name + " in FILES, which runs before any placeholder exists");
      } else if (built_in && (in_common_ && name == "{INSTDIR}")) {
        Find(line.number, "{INSTDIR} is not defined while COMMON runs (the host sets it later)");
      } else if (!built_in && !defined.count(name)) {
        Find(line.number, "placeholder " + name + " is not defined by a VAR before it is used");
      }
    }
  }

  // A "{TMP}\..." path must name a file of the package.
  void CheckPackagePath(const Line& line, const std::string& path, const char* what) {
    const std::string prefix = "{TMP}\\";
    if (path.compare(0, prefix.size(), prefix) != 0) return;
    if (!package_.count(AsciiLower(path.substr(prefix.size()))))
      Find(line.number, std::string(what) + " " + path + " is not in the package");
  }

  void CheckLine(const Line& line, std::set<std::string>* defined) {
    const std::string& t = line.text;
    size_t word_end = 0;
    while (word_end < t.size() && ((t[word_end] >= 'A' && t[word_end] <= 'Z') || t[word_end] == '_')) ++word_end;
    const std::string word = t.substr(0, word_end);
    if (word.empty()) return;  // lower case, blanks, digits: not a command, passed over
    const bool keyword = std::find(std::begin(kKeywords), std::end(kKeywords), word) != std::end(kKeywords);
    if (!keyword) {
      if (word != "NAME") Find(line.number, "\"" + word + "\" is no command; the line is passed over");
      return;
    }
    if (word_end >= t.size() || t[word_end] != ' ') {
      Find(line.number, word + " must be followed by one blank; the line is passed over");
      return;
    }
    const std::string args = t.substr(word_end);
    std::string a, b, flags;
    if (word == "CHECK") {
      if (!ArgsOuterQuoted(args, &a)) return Find(line.number, "CHECK needs a path in double quotes");
      if (a.find('{') != std::string::npos)
        return Find(line.number, "CHECK does not expand placeholders: it looks for a file named " + a + " literally");
      if (IsAbsolutePath(a)) return Find(line.number, "CHECK names " + a + ", which is not a file of the package");
      if (!package_.count(AsciiLower(a))) Find(line.number, "CHECK names " + a + ", which is not in the package");
    } else if (word == "VAR") {
      if (!ArgsPlaceholderName(args, &a) || !ArgsOuterQuoted(args, &b))
        return Find(line.number, "VAR needs a {NAME} and a value in double quotes");
      CheckPlaceholders(line, b, *defined);
      if (!defined->insert(a).second) Find(line.number, "VAR " + a + " is defined before; this value is ignored");
    } else if (word == "DEF") {
      size_t name_end = args.find(' ', 1);
      if (name_end == std::string::npos || !ArgsOuterQuoted(args, &b))
        return Find(line.number, "DEF needs a name and a value in double quotes");
      a = args.substr(1, name_end - 1);
      if (a != "INSTALLERRSTOP" && a != "UNINSTALLERRSTOP") Find(line.number, "DEF " + a + " is no setting; ignored");
      else if (b != "TRUE" && b != "FALSE") Find(line.number, "DEF " + a + " takes \"TRUE\" or \"FALSE\"; \"" + b + "\" changes nothing");
    } else if (word == "COPY" || word == "COPYIF") {
      if (!ArgsFirstQuoted(args, &a) || !ArgsSecondQuoted(args, &b))
        return Find(line.number, word + " needs a source and a target in double quotes, separated by a comma");
      CheckPlaceholders(line, a, *defined);
      CheckPlaceholders(line, b, *defined);
      CheckPackagePath(line, a, "source");
      ArgsFlagField(args, &flags);
      flags.erase(std::remove(flags.begin(), flags.end(), '\t'), flags.end());
      bool any = false;
      for (const char* f : {"UPDATE", "ADD_REF_COUNT", "OVERWRITE"})
        any = any || ("|" + flags + "|").find(std::string("|") + f + "|") != std::string::npos;
      if (!any) Find(line.number, word + " has no flag (UPDATE, OVERWRITE, ADD_REF_COUNT): it copies nothing");
    } else if (word == "DEL") {
      if (!ArgsFirstQuoted(args, &a)) return Find(line.number, "DEL needs a path in double quotes");
      CheckPlaceholders(line, a, *defined);
      std::string option;
      size_t comma = args.rfind(',');
      for (size_t i = comma == std::string::npos ? args.size() : comma + 1; i < args.size(); ++i)
        if (args[i] != ' ' && args[i] != '\t') option += args[i];
      if (option != "CHECK_REF_COUNT" && option != "FORCE")
        Find(line.number, "DEL has no option CHECK_REF_COUNT or FORCE: it deletes nothing");
    } else if (word == "RUN" || word == "RUNIF") {
      if (!ArgsFirstQuoted(args, &a) || !ArgsSecondQuoted(args, &b) || !ArgsFlagField(args, &flags))
        return Find(line.number, word + " needs a program and parameters in double quotes and WAIT or NOWAIT");
      CheckPlaceholders(line, a, *defined);
      CheckPlaceholders(line, b, *defined);
      CheckPackagePath(line, a, "program");
      if (flags != "WAIT" && flags != "NOWAIT") Find(line.number, word + " ends in \"" + flags + "\", not WAIT or NOWAIT: it fails with 2");
      if (a.size() + 1 + b.size() >= kPathBufferSize && a.find('{') == std::string::npos)
        Find(line.number, word + " command line is longer than 259 characters");
    } else if (word == "CALL" || word == "CALLIF") {
      size_t first = args.find(','), second = first == std::string::npos ? first : args.find(',', first + 1);
      if (!ArgsFirstQuoted(args, &a) || second == std::string::npos || !ArgsOuterQuoted(args.substr(args.rfind(',') + 1), &b))
        return Find(line.number, word + " needs a library in double quotes, a function and a parameter in double quotes");
      std::string function;
      for (size_t i = first + 1; i < second; ++i) if (args[i] != ' ') function += args[i];
      if (function.empty()) Find(line.number, word + " names no function");
      CheckPlaceholders(line, a, *defined);
      CheckPlaceholders(line, b, *defined);
      CheckPackagePath(line, a, "library");
    }
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

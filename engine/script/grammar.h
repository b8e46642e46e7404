// The script's command grammar, declared once in commands.inc: for each command its keyword, the
// fields of its line, the flag words it knows and the usage its failure message gives. The engine runs the
// records this parser makes; the package checker checks the same records. Portable code.
#ifndef QM_ENGINE_SCRIPT_GRAMMAR_H_
#define QM_ENGINE_SCRIPT_GRAMMAR_H_

#include <cstddef>
#include <string>

namespace qm {

// One per row of commands.inc, the table that declares every command.
enum class CommandId {
#define QM_COMMAND(name, ...) k##name,
#include "engine/script/commands.inc"
#undef QM_COMMAND
};

// How a line's text after the keyword splits into fields.
enum class CommandShape {
  kPath,            // "path"                           (CHECK: between the first and the last quote)
  kFileAndOption,   // "path", OPTION                   (DEL)
  kCopy,            // "source", "target", FLAG|FLAG   (COPY, COPYIF)
  kProgram,         // "program", "parameters", FLAG   (RUN, RUNIF)
  kLibrary,         // "library", Function, "parameter" (CALL, CALLIF)
  kVariable,        // {NAME} "value"                   (VAR)
  kSetting,         // NAME "value"                     (DEF)
  kNone,            // arguments ignored                (REGPRODUCT)
};

// How the flag field is read against the row's flag words.
enum class FlagMatch {
  kNone,
  kWords,  // words joined by "|", each known word sets its bit; unknown words are ignored
  kWhole,  // the whole field is one of the words
};

struct CommandRow {
  CommandId id;
  const char* keyword;     // as the line starts, without the blank that must follow it
  size_t removed;          // characters taken off the front of the line to leave its arguments
  const char* log_name;    // how failure messages name the command
  CommandShape shape;
  FlagMatch flag_match;
  const char* flag_words[3];  // bit i stands for flag_words[i]
  const char* usage;       // "<log_name> data invalid, <usage>:<arguments>"
};

// Flag bits, by the order of the row's flag words.
constexpr unsigned kCopyUpdate = 1;
constexpr unsigned kCopyAddRefCount = 2;
constexpr unsigned kCopyOverwrite = 4;
constexpr unsigned kDelCheckRefCount = 1;
constexpr unsigned kDelForce = 2;
constexpr unsigned kRunWait = 1;
constexpr unsigned kRunNoWait = 2;

// One line of a chapter that a keyword starts, split into its fields. Fields are as written:
// placeholders are expanded by the command when it runs.
struct CommandRecord {
  const CommandRow* row = nullptr;
  int line = 0;            // 1-based line of the script file
  std::string arguments;   // the line after the keyword (with the blank for most), as messages quote it
  bool well_formed = false;  // the quotes, commas or braces the shape needs are there
  std::string subject;     // the path, source, program, library, or the name VAR and DEF set
  std::string target;      // COPY: the target
  std::string value;       // RUN: the parameters; CALL: the parameter; VAR, DEF: the value
  std::string function;    // CALL: the export's name, blanks removed
  std::string flag_field;  // COPY, RUN, DEL: the field after the last comma, blanks removed
  unsigned flags = 0;      // the row's flag words found in |flag_field|

  CommandId id() const { return row->id; }
  bool Has(unsigned flag) const { return (flags & flag) != 0; }
};

// The table, in the order keywords are tried.
const CommandRow* GrammarCommands(size_t* count);
// The row whose keyword is |word| exactly, or null.
const CommandRow* GrammarFind(const std::string& word);

// The record of |line| when a keyword and its blank start it; false for any other line (a
// chapter header, a name in an action list, a line the engine passes over).
bool GrammarParse(const std::string& line, int number, CommandRecord* record);

// "<log_name> data invalid, <usage>:<arguments>", the line a malformed record logs.
std::string GrammarMalformedMessage(const CommandRecord& record);

}  // namespace qm

#endif  // QM_ENGINE_SCRIPT_GRAMMAR_H_

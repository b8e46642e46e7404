#include "engine/script/grammar.h"

#include <cstring>

#include "engine/script/args.h"

namespace qm {
namespace {

const CommandRow kCommands[] = {
#define QM_COMMAND(name, keyword, removed, log_name, shape, usage, match, ...) \
  {CommandId::k##name, keyword, removed, log_name, CommandShape::shape, FlagMatch::match, {__VA_ARGS__}, usage},
#include "engine/script/commands.inc"
#undef QM_COMMAND
};

// After the last comma (the whole text without one), blanks and tabs removed.
std::string OptionField(const std::string& text) {
  const size_t comma = text.rfind(',');
  std::string field;
  for (size_t i = comma == std::string::npos ? 0 : comma + 1; i < text.size(); ++i)
    if (text[i] != ' ' && text[i] != '\t') field += text[i];
  return field;
}

unsigned FlagBits(const CommandRow& row, const std::string& field) {
  unsigned bits = 0;
  for (unsigned i = 0; i < 3 && row.flag_words[i]; ++i) {
    const std::string word = row.flag_words[i];
    const bool found = row.flag_match == FlagMatch::kWhole
                           ? field == word
                           : ("|" + field + "|").find("|" + word + "|") != std::string::npos;
    if (found) bits |= 1u << i;
  }
  return bits;
}

bool SplitLibrary(const std::string& args, CommandRecord* r) {
  const size_t first_comma = args.find(',');
  const size_t second_comma = first_comma == std::string::npos ? std::string::npos : args.find(',', first_comma + 1);
  if (!ArgsFirstQuoted(args, &r->subject) || second_comma == std::string::npos ||
      !ArgsOuterQuoted(args.substr(args.rfind(',') + 1), &r->value))
    return false;
  for (size_t i = first_comma + 1; i < second_comma; ++i)
    if (args[i] != ' ') r->function += args[i];
  return true;
}

// The name runs from after the first blank to the next one; the value is the outer quoted text.
bool SplitSetting(const std::string& args, CommandRecord* r) {
  const size_t first_blank = args.find(' ');
  const size_t name_end = first_blank == std::string::npos ? std::string::npos : args.find(' ', first_blank + 1);
  if (name_end == std::string::npos || !ArgsOuterQuoted(args, &r->value)) return false;
  r->subject = args.substr(first_blank + 1, name_end - first_blank - 1);
  return true;
}

bool Split(const std::string& args, CommandRecord* r) {
  switch (r->row->shape) {
    case CommandShape::kPath:
      return ArgsOuterQuoted(args, &r->subject);
    case CommandShape::kFileAndOption:
      r->flag_field = OptionField(args);
      return ArgsFirstQuoted(args, &r->subject);
    case CommandShape::kCopy:
      if (!ArgsFirstQuoted(args, &r->subject) || !ArgsSecondQuoted(args, &r->target)) return false;
      r->flag_field = OptionField(args);
      return true;
    case CommandShape::kProgram:
      return ArgsFirstQuoted(args, &r->subject) && ArgsSecondQuoted(args, &r->value) &&
             ArgsFlagField(args, &r->flag_field);
    case CommandShape::kLibrary:
      return SplitLibrary(args, r);
    case CommandShape::kVariable:
      return ArgsPlaceholderName(args, &r->subject) && ArgsOuterQuoted(args, &r->value);
    case CommandShape::kSetting:
      return SplitSetting(args, r);
    case CommandShape::kNone:
      return true;
  }
  return false;
}

}  // namespace

const CommandRow* GrammarCommands(size_t* count) {
  *count = sizeof(kCommands) / sizeof(kCommands[0]);
  return kCommands;
}

const CommandRow* GrammarFind(const std::string& word) {
  for (const CommandRow& row : kCommands)
    if (word == row.keyword) return &row;
  return nullptr;
}

bool GrammarParse(const std::string& line, int number, CommandRecord* record) {
  for (const CommandRow& row : kCommands) {
    const size_t length = std::strlen(row.keyword);
    if (line.size() <= length || line.compare(0, length, row.keyword) != 0 || line[length] != ' ') continue;
    *record = CommandRecord();
    record->row = &row;
    record->line = number;
    record->arguments = line.substr(row.removed);
    record->well_formed = Split(record->arguments, record);
    record->flags = FlagBits(row, record->flag_field);
    return true;
  }
  return false;
}

std::string GrammarMalformedMessage(const CommandRecord& record) {
  return std::string(record.row->log_name) + " data invalid, " + record.row->usage + ":" + record.arguments;
}

}  // namespace qm

#include "engine/script/variables.h"

#include "engine/log/setup_log.h"
#include "engine/script/args.h"
#include "qmsetup/results.h"

namespace qm {

void VariablesDefine(VariableTable& table, const std::string& name, const std::string& value) {
  table.emplace(name, value);
}

int VariablesLookUp(const VariableTable& table, const std::string& name, std::string* value) {
  auto it = table.find(name);
  if (it == table.end()) {
    WriteLogLine("Want to Get Common error :" + name + " Not exist.");
    return engine_code::kVariableUndefined;
  }
  *value = it->second;
  return engine_code::kOk;
}

int VariablesExpand(const VariableTable& table, std::string* text) {
  const std::string original = *text;
  for (int replacements = 0;; ++replacements) {
    size_t open = text->find('{');
    size_t close = text->find('}');
    // No placeholder left; a "}" before the first "{" ends expansion with the text as it is.
    if (open == std::string::npos || close == std::string::npos || close < open) return engine_code::kOk;
    if (replacements >= kExpandMaxReplacements) {
      WriteLogLine("Expand error : " + original + " needs more than 1000 replacements.");
      return engine_code::kVariableUndefined;
    }
    std::string value;
    int r = VariablesLookUp(table, text->substr(open, close - open + 1), &value);
    if (r != engine_code::kOk) return r;
    if (text->size() - (close - open + 1) + value.size() > kExpandMaxLength) {
      WriteLogLine("Expand error : " + original + " grows beyond 65536 characters.");
      return engine_code::kVariableUndefined;
    }
    text->replace(open, close - open + 1, value);
  }
}

int VarCommand(VariableTable& table, const std::string& args) {
  std::string name;
  std::string value;
  if (!ArgsPlaceholderName(args, &name) || !ArgsOuterQuoted(args, &value)) {
    WriteLogLine("VAR data invalid, a name in braces and a value in double quotes are needed:" + args);
    return engine_code::kInvalidArgument;
  }
  int r = VariablesExpand(table, &value);
  if (r != engine_code::kOk) return r;
  VariablesDefine(table, name, value);
  return engine_code::kOk;
}

}  // namespace qm

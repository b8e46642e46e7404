#include "engine/script/variables.h"

#include "engine/log/log_text.h"
#include "engine/log/setup_log.h"
#include "qmsetup/results.h"

namespace qm {

void VariablesDefine(VariableTable& table, const std::string& name, const std::string& value) {
  table.emplace(name, value);
}

EngineResult VariablesLookUp(const VariableTable& table, const std::string& name, std::string* value) {
  auto it = table.find(name);
  if (it == table.end()) {
    WriteLogLine(log_text::PlaceholderUndefined(name));
    return EngineResult::kVariableUndefined;
  }
  *value = it->second;
  return EngineResult::kOk;
}

EngineResult VariablesExpand(const VariableTable& table, std::string* text) {
  const std::string original = *text;
  for (int replacements = 0;; ++replacements) {
    size_t open = text->find('{');
    size_t close = text->find('}');
    // No placeholder left; a "}" before the first "{" ends expansion with the text as it is.
    if (open == std::string::npos || close == std::string::npos || close < open) return EngineResult::kOk;
    if (replacements >= kExpandMaxReplacements) {
      WriteLogLine(log_text::ExpansionTooManySteps(original));
      return EngineResult::kVariableUndefined;
    }
    std::string value;
    EngineResult r = VariablesLookUp(table, text->substr(open, close - open + 1), &value);
    if (r != EngineResult::kOk) return r;
    if (text->size() - (close - open + 1) + value.size() > kExpandMaxLength) {
      WriteLogLine(log_text::ExpansionTooLong(original));
      return EngineResult::kVariableUndefined;
    }
    text->replace(open, close - open + 1, value);
  }
}

}  // namespace qm

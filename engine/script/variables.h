// Script variables: names in braces ("{PF}") mapped to already expanded values.
#ifndef QM_ENGINE_SCRIPT_VARIABLES_H_
#define QM_ENGINE_SCRIPT_VARIABLES_H_

#include <map>
#include <string>

namespace qm {

using VariableTable = std::map<std::string, std::string>;

// Expansion gives up (code 5) past these, so a value that refers to itself cannot grow forever.
constexpr int kExpandMaxReplacements = 1000;
constexpr size_t kExpandMaxLength = 65536;

// Inserts unless |name| is defined already: the first definition holds.
void VariablesDefine(VariableTable& table, const std::string& name, const std::string& value);

// 0 with |value| set, or 5 after logging "Want to Get Common error :<name> Not exist.".
int VariablesLookUp(const VariableTable& table, const std::string& name, std::string* value);

// Replaces placeholders left to right, restarting at the front after each one. 0 or 5; on
// failure |text| is left partly expanded.
int VariablesExpand(const VariableTable& table, std::string* text);

// VAR {NAME} "value": 0, 5 (expansion failed) or 2 (no name in braces or no quoted value).
int VarCommand(VariableTable& table, const std::string& args);

}  // namespace qm

#endif  // QM_ENGINE_SCRIPT_VARIABLES_H_

// Script variables: names in braces ("{PF}") mapped to already expanded values.
#ifndef QM_ENGINE_SCRIPT_VARIABLES_H_
#define QM_ENGINE_SCRIPT_VARIABLES_H_

#include <map>
#include <string>

#include "qmsetup/results.h"

namespace qm {

using VariableTable = std::map<std::string, std::string>;

// Expansion gives up (kVariableUndefined) past these, so a value that refers to itself cannot
// grow forever.
constexpr int kExpandMaxReplacements = 1000;
constexpr size_t kExpandMaxLength = 65536;

// Inserts unless |name| is defined already: the first definition holds.
void VariablesDefine(VariableTable& table, const std::string& name, const std::string& value);

// kOk with |value| set, or kVariableUndefined after logging
// "Want to Get Common error :<name> Not exist.".
EngineResult VariablesLookUp(const VariableTable& table, const std::string& name, std::string* value);

// Replaces placeholders left to right, restarting at the front after each one. kOk or
// kVariableUndefined; on failure |text| is left partly expanded.
EngineResult VariablesExpand(const VariableTable& table, std::string* text);

}  // namespace qm

#endif  // QM_ENGINE_SCRIPT_VARIABLES_H_

// VAR {NAME} "value": defines a placeholder with its value expanded; the first definition holds.
#include "engine/commands/commands.h"
#include "engine/script/variables.h"

namespace qm {

EngineResult ExecuteVar(const CommandContext& context, const CommandRecord& record) {
  if (!record.well_formed) return RejectMalformed(context, record);
  std::string value = record.value;
  QM_RETURN_IF_FAILED(VariablesExpand(context.variables, &value));
  VariablesDefine(context.variables, record.subject, value);
  return EngineResult::kOk;
}

}  // namespace qm

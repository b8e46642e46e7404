#include "engine/ops/product_record.h"

#include "base/result.h"
#include "engine/log/log_text.h"
#include "engine/script/variables.h"

namespace qm {

EngineResult ProductIdentity(const CommandContext& context, const char* name, std::string* value) {
  QM_RETURN_IF_FAILED(VariablesLookUp(context.variables, name, value));
  if (value->empty()) {
    context.Log(log_text::IdentityEmpty(name));
    return EngineResult::kVariableUndefined;
  }
  return EngineResult::kOk;
}

EngineResult ProductOpenRecords(const CommandContext& context) {
  for (const char* key : {kFamilyKey, kProductKey}) {
    if (!context.system.CreateKey(key)) {
      context.Log(log_text::KeyNotOpened(key));
      return EngineResult::kProductKeyFailed;
    }
  }
  return EngineResult::kOk;
}

EngineResult ProductEnsureCount(const CommandContext& context, const std::string& product) {
  uint32_t count = 0;
  switch (context.system.ReadCount(kProductKey, product, &count)) {
    case CountRead::kPresent:
      return EngineResult::kOk;
    case CountRead::kAbsent:
      context.system.WriteCount(kProductKey, product, 1);
      return EngineResult::kOk;
    case CountRead::kFailed:
      break;
  }
  context.Log(log_text::ProductCountUnreadable(product));
  return EngineResult::kProductKeyFailed;
}

void ProductWriteVersion(const CommandContext& context, const std::string& product, const std::string& version) {
  const std::string details = std::string(kProductKey) + "\\" + product;
  if (context.system.CreateKey(details)) context.system.WriteString(details, "PRODUCT_VER", version);
}

}  // namespace qm

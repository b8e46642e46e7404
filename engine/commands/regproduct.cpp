// REGPRODUCT: records the product and its version like an install's Finish does, without the
// maker's values, the service settings or the restart marker. Its arguments are ignored.
#include "engine/commands/commands.h"
#include "engine/log/log_text.h"
#include "engine/ops/product_record.h"

namespace qm {

EngineResult ExecuteRegProduct(const CommandContext& context, const CommandRecord& /*record*/) {
  context.Log(log_text::kRegProductBegin);
  std::string product;
  std::string version;
  QM_RETURN_IF_FAILED(ProductIdentity(context, "{PRODUCT_GUID}", &product));
  QM_RETURN_IF_FAILED(ProductIdentity(context, "{PRODUCT_VER}", &version));
  QM_RETURN_IF_FAILED(ProductOpenRecords(context));
  QM_RETURN_IF_FAILED(ProductEnsureCount(context, product));
  ProductWriteVersion(context, product, version);
  context.Log(log_text::kRegProductEnd);
  return EngineResult::kOk;
}

}  // namespace qm

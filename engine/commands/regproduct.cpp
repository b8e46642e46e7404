// REGPRODUCT: records the product and its version like an install's Finish does, without the
// maker's values, the service settings or the restart marker. Its arguments are ignored.
#include <windows.h>

#include "engine/api/product_record.h"
#include "engine/commands/dispatcher.h"
#include "engine/log/setup_log.h"
#include "qmsetup/results.h"

namespace qm {

int RegProductCommand(const std::string& /*args*/) {
  WriteLogLine("====>Begin Do_RegProduct:");
  std::string product;
  std::string version;
  int r = ProductIdentity("{PRODUCT_GUID}", &product);
  if (r == engine_code::kOk) r = ProductIdentity("{PRODUCT_VER}", &version);
  if (r != engine_code::kOk) return r;
  {
    RegKey products;
    r = ProductOpenRecords(&products);
    if (r == engine_code::kOk) r = ProductEnsureCount(products, product);
    if (r != engine_code::kOk) return r;
  }
  ProductWriteVersion(product, version);
  WriteLogLine("<====Ending Do_RegProduct:");
  return engine_code::kOk;
}

}  // namespace qm

// The product record under HKLM\Software\QMSrv\Product, shared by every product of the family:
// per product a count and a subkey with its version, per maker a count and the language of the
// last install. Install-side keys are opened, and created only when they are absent. Portable:
// the registry is the context's system.
#ifndef QM_ENGINE_OPS_PRODUCT_RECORD_H_
#define QM_ENGINE_OPS_PRODUCT_RECORD_H_

#include <string>

#include "engine/core/command_context.h"
#include "qmsetup/names.h"
#include "qmsetup/results.h"

namespace qm {

using qmsetup::kFamilyKey;
using qmsetup::kProductKey;

// Looks up a product identity variable ({PRODUCT_GUID}, ...): kOk, or kVariableUndefined when it
// is undefined (the lookup logs that) or empty (logged here).
EngineResult ProductIdentity(const CommandContext& context, const char* name, std::string* value);

// Opens or creates Software\QMSrv and Software\QMSrv\Product: kOk or kProductKeyFailed.
EngineResult ProductOpenRecords(const CommandContext& context);

// The product's count: left alone when present, 1 when absent. kOk or kProductKeyFailed
// (unreadable).
EngineResult ProductEnsureCount(const CommandContext& context, const std::string& product);

// "PRODUCT_VER" in Software\QMSrv\Product\<product>, the key created when absent.
void ProductWriteVersion(const CommandContext& context, const std::string& product, const std::string& version);

}  // namespace qm

#endif  // QM_ENGINE_OPS_PRODUCT_RECORD_H_

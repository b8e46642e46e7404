// The product record under HKLM\Software\QMSrv\Product, shared by every product of the family:
// per product a count and a subkey with its version, per maker a count and the language of the
// last install. Install-side keys are opened, and created only when they are absent.
#ifndef QM_ENGINE_API_PRODUCT_RECORD_H_
#define QM_ENGINE_API_PRODUCT_RECORD_H_

#include <string>

#include "base/win/reg_key.h"
#include "qmsetup/names.h"

namespace qm {

using qmsetup::kProductKey;

// Looks up a product identity variable ({PRODUCT_GUID}, ...): 0, or 5 when it is undefined (the
// lookup logs that) or empty (logged here).
int ProductIdentity(const char* name, std::string* value);

// Opens or creates Software\QMSrv (closed again) and Software\QMSrv\Product into |products|.
// 0 or 13.
int ProductOpenRecords(RegKey* products);

// The product's count: left alone when present, 1 when absent. 0 or 13 (unreadable).
int ProductEnsureCount(const RegKey& products, const std::string& product);

// "PRODUCT_VER" in Software\QMSrv\Product\<product>, the key created when absent.
void ProductWriteVersion(const std::string& product, const std::string& version);

}  // namespace qm

#endif  // QM_ENGINE_API_PRODUCT_RECORD_H_

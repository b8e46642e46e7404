// Which Windows versions the product supports.
#ifndef QM_FRONT_OS_VERSION_H_
#define QM_FRONT_OS_VERSION_H_

#include "qmsetup/results.h"

namespace qm {

// The decision on its own, for any version record: kOk or kOsUnsupported.
// |service_pack| is the record's service-pack text (szCSDVersion).
FrontResult FrontDecideOsVersion(unsigned long platform_id, unsigned long major, unsigned long minor,
                                 const char* service_pack);

// The NT family (Windows 2000 and later here), as the basic version record says.
bool FrontRunsOnNt();

// Asks the system (extended record first, then the basic one) and decides. A system that
// answers neither query is let through.
FrontResult CheckOsVersion();

}  // namespace qm

#endif  // QM_FRONT_OS_VERSION_H_

// The one platform query every engine decision uses: a zero-filled OSVERSIONINFOA (size 148)
// passed to GetVersionExA, made afresh for each decision. A failed call leaves zeros, which
// read as "not NT" and "minor version 0".
#ifndef QM_ENGINE_CORE_PLATFORM_H_
#define QM_ENGINE_CORE_PLATFORM_H_

#include <windows.h>

namespace qm {

OSVERSIONINFOA PlatformQuery();
// Platform id 2 (VER_PLATFORM_WIN32_NT); every other value, 0 included, is not NT.
bool PlatformIsNt(const OSVERSIONINFOA& info);
// Minor version not 0: within NT separates 5.0 and 6.0 from 5.1, 5.2 and 6.1.
bool PlatformMinorTest(const OSVERSIONINFOA& info);

}  // namespace qm

#endif  // QM_ENGINE_CORE_PLATFORM_H_

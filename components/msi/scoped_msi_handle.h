// Move-only owner of an MSIHANDLE (records, the session handle is borrowed and never closed).
#ifndef QM_COMPONENTS_MSI_SCOPED_MSI_HANDLE_H_
#define QM_COMPONENTS_MSI_SCOPED_MSI_HANDLE_H_

#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include "base/win/scoped_handle.h"

namespace qm {

struct MsiHandleTraits {
  using Handle = MSIHANDLE;
  static Handle Null() { return 0; }
  static bool IsValid(Handle h) { return h != 0; }
  static void Close(Handle h) { ::MsiCloseHandle(h); }
};

using ScopedMsiHandle = ScopedGeneric<MsiHandleTraits>;

}  // namespace qm

#endif  // QM_COMPONENTS_MSI_SCOPED_MSI_HANDLE_H_

// The staging folder holds the engine and the files it unpacks and then loads or runs. Run as
// SYSTEM (an MSI's deferred action, a deployment agent), the Temp folder is the machine's, where
// every user may create folders: the staging folder must be one nobody else can write to.
#ifndef QM_FRONT_PRIVATE_FOLDER_H_
#define QM_FRONT_PRIVATE_FOLDER_H_

#include "front/folder_access.h"

namespace qm {

// Creates |folder| with a protected DACL that grants this account, SYSTEM and Administrators
// (inherited by everything created in it), or checks the one already there. On the Windows 95
// family, which has no access control, it only makes sure the folder exists.
FolderAccess EnsurePrivateFolder(const char* folder);

}  // namespace qm

#endif  // QM_FRONT_PRIVATE_FOLDER_H_

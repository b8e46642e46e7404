// Shared-file reference counts: one REG_DWORD per installed shared file below
// HKLM\Software\QMSrv\Ref, named by the file's full path as the command expanded it, counting the
// installed products that use the file. Portable: the registry is the context's system.
#ifndef QM_ENGINE_OPS_REF_COUNT_H_
#define QM_ENGINE_OPS_REF_COUNT_H_

#include <string>

#include "engine/core/command_context.h"
#include "qmsetup/names.h"
#include "qmsetup/results.h"

namespace qm {

using qmsetup::kFamilyKey;
using qmsetup::kRefKey;

// A count one higher, or 1 when there is none: false when the stored value cannot be read (it
// is then left as it was). The key must exist.
bool RaiseCount(System& system, const std::string& key, const std::string& name);

// One more reference: kOk, or kReferenceStoreFailed when a key cannot be opened or created or the
// stored value cannot be read (it is then left as it was).
EngineResult AddReference(const CommandContext& context, const std::string& path);

// The count as a signed number; 0 when the key or the value is missing or unreadable.
int GetReferenceCount(const CommandContext& context, const std::string& path);

// One reference less, or all of them with |force|. Sets |*delete_file| when no product uses the
// file any more (also when nothing was recorded or the record cannot be read); otherwise leaves it
// as the caller preset it. A stored 0 counts as the last reference. When the last value goes the
// Ref key goes too, and CleanProductTree runs. Always kOk.
EngineResult ReleaseReference(const CommandContext& context, const std::string& path, bool force, bool* delete_file);

// When Software\QMSrv has no subkey left: deletes it, raises the restart flag and schedules the
// product folder (<Program Files>\qmsrv) for removal at the next restart.
void CleanProductTree(const CommandContext& context);

}  // namespace qm

#endif  // QM_ENGINE_OPS_REF_COUNT_H_

// Work on files that are in use, deferred to the next restart: on the NT family through the
// system's pending-rename list (MoveFileEx), on the Windows 95 family through WININIT.INI and,
// for replacements, a list that our _REMOVED.exe works off at the next logon.
#ifndef QM_ENGINE_OPS_RESTART_OPS_H_
#define QM_ENGINE_OPS_RESTART_OPS_H_

#include <string>

#include "engine/core/engine_state.h"
#include "qmsetup/results.h"

namespace qm {

// Puts |source| in the place of the in-use |target| at the next restart; the caller raises the
// restart flag. kOk, or on NT kReplaceMoveAsideFailed (the target cannot be moved aside to
// "<target>.OLD", for one because an earlier replacement still waits there) or kReplaceCopyFailed
// (whatever the copy wrote is removed, the target is moved back and the copy's error is left in
// the thread's last-error value). |state| gives the folders of the 9x lists.
EngineResult ReplaceAtRestart(const EngineState& state, const std::string& source, const std::string& target);

// Deletes a file or an empty folder at the next restart. The caller raises the flag and logs.
void DeleteAtRestart(const EngineState& state, const std::string& path);

// |path| as the system's restart-time processing must be given it. A 32-bit process on 64-bit
// Windows sees the 32-bit system folder under the name of the native one; the restart works
// natively, so a path below our system folder is given below the 32-bit one (SysWOW64) there.
// Everywhere else |path| itself.
std::string RestartTimePath(const std::string& path);

// 9x replacement: appends "target=source" to <Windows>\Temp\_REMOVED.INI and (again) writes the
// RunOnce value "removed" that starts the replacement program. 1 when the line was written.
int AppendRemovedIni(const EngineState& state, const std::string& target, const std::string& source);

// 9x deletion: a "NUL=" (file) or "DIRNUL=" (folder) entry with the short path as the first line
// of WININIT.INI's [rename] section, unless the section names that path already. 1 when the entry
// is there afterwards, 0 when the file cannot be opened, read or written or the path has no short
// form (it no longer exists).
int AddWininitDelete(const EngineState& state, const std::string& path);

// Where a 9x deletion goes: |content| of WININIT.INI with the entry added (unchanged when the
// [rename] section, found without regard to case, names |short_path| already). Portable.
std::string WininitWithDeletion(const std::string& content, const std::string& kind, const std::string& short_path);

}  // namespace qm

#endif  // QM_ENGINE_OPS_RESTART_OPS_H_

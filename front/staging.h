// Writes the carried engine and package (and, in builds that carry one, the runtime) to disk and
// binds the engine's five entry points.
#ifndef QM_FRONT_STAGING_H_
#define QM_FRONT_STAGING_H_

#include "qmsetup/results.h"

namespace qm {

constexpr int kResourceEngine = 101;
constexpr int kResourcePackage = 102;
constexpr int kResourceRuntime = 104;
constexpr char kResourceType[] = "FILE";

// True when the resource was written whole, or when the destination is held open by somebody
// else and already holds exactly the resource's bytes.
bool WriteResourceToFile(unsigned identifier, const char* type, const char* path);

// Stages the engine and the package, loads the engine and binds its entry points: kOk,
// kEngineFailed or kStagingFailed. From the moment each staged file is written (or found to hold
// our bytes) until the engine is released, the front keeps it open with writing and deletion
// denied, so nothing can replace the engine or the package while they are used; a file that
// differs from ours, or that cannot be read to compare, is a staging failure and nothing is
// loaded.
FrontResult StageAndBindEngine();

struct FrontState;
// Closes the staged files' guards; the engine is no longer loaded.
void FrontReleaseStagedFiles(FrontState& state);

}  // namespace qm

#endif  // QM_FRONT_STAGING_H_

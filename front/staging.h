// Writes the carried engine and package (and, in builds that carry one, the runtime) to disk and
// binds the engine's five entry points.
#ifndef QM_FRONT_STAGING_H_
#define QM_FRONT_STAGING_H_

namespace qm {

constexpr int kResourceEngine = 101;
constexpr int kResourcePackage = 102;
constexpr int kResourceRuntime = 104;
constexpr char kResourceType[] = "FILE";
constexpr char kStagingFolderName[] = "B80500FF-D0E3-4de4-8D34-81575E59092C";
constexpr char kEngineFileName[] = "QMSetup.dll";
constexpr char kPackageFileName[] = "KX2.dat";

// True when the resource was written whole, or when the destination is held open by somebody
// else (the copy already there is used).
bool WriteResourceToFile(unsigned identifier, const char* type, const char* path);

// 0, front_code::kEngineFailed or front_code::kStagingFailed.
int StageAndBindEngine();

}  // namespace qm

#endif  // QM_FRONT_STAGING_H_

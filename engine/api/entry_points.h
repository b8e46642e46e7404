// What the engine's exports do, each in its result table.
#ifndef QM_ENGINE_API_ENTRY_POINTS_H_
#define QM_ENGINE_API_ENTRY_POINTS_H_

#include <string>

#include "qmsetup/results.h"

namespace qm {

EngineResult EnginePrepare(const std::string& package_name);
EngineResult EngineSetInstDir(const std::string& folder);
EngineResult EngineSetLangID(const std::string& language);
EngineResult EngineDoStep(const std::string& chapter);
EngineResult EngineIsInstall(const std::string& mode);
EngineResult EngineFinish();
MiddlewareResult MiddlewareInstall(const std::string& package_name);
MiddlewareResult MiddlewareUninstall(const std::string& package_name);
InstalledResult MiddlewareIsHaveInstalled(const std::string& package_name);
bool MiddlewareIsNeedReboot();

}  // namespace qm

#endif  // QM_ENGINE_API_ENTRY_POINTS_H_

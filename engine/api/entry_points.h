// What the engine's exports do; each returns an engine result code.
#ifndef QM_ENGINE_API_ENTRY_POINTS_H_
#define QM_ENGINE_API_ENTRY_POINTS_H_

#include <string>

namespace qm {

int EnginePrepare(const std::string& package_name);
int EngineSetInstDir(const std::string& folder);
int EngineSetLangID(const std::string& language);
int EngineDoStep(const std::string& chapter);
int EngineIsInstall(const std::string& mode);
int EngineFinish();
int MiddlewareInstall(const std::string& package_name);
int MiddlewareUninstall(const std::string& package_name);
int MiddlewareIsHaveInstalled(const std::string& package_name);
int MiddlewareIsNeedReboot();

}  // namespace qm

#endif  // QM_ENGINE_API_ENTRY_POINTS_H_

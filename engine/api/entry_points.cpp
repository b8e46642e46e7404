#include "engine/api/entry_points.h"

#include "base/result_codes.h"
#include "engine/api/engine_state.h"
#include "engine/log/setup_log.h"

namespace qm {

int EnginePrepare(const std::string&) { return engine_code::kUnpackFailed; }
int EngineSetInstDir(const std::string&) { return engine_code::kInvalidArgument; }
int EngineSetLangID(const std::string&) { return engine_code::kInvalidArgument; }
int EngineDoStep(const std::string&) { return engine_code::kInvalidArgument; }
int EngineIsInstall(const std::string&) { return engine_code::kInvalidArgument; }
int EngineFinish() { return engine_code::kInvalidArgument; }
int MiddlewareInstall(const std::string&) { return 1; }
int MiddlewareUninstall(const std::string&) { return 1; }
int MiddlewareIsHaveInstalled(const std::string&) { return 1; }
int MiddlewareIsNeedReboot() { return 1; }

}  // namespace qm

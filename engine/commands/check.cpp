// CHECK "path": is a payload file (or folder) present? Relative paths are below the unpack folder;
// placeholders are not expanded.
#include <windows.h>
#include <shlwapi.h>

#include "engine/api/engine_state.h"
#include "engine/commands/dispatcher.h"
#include "engine/log/setup_log.h"
#include "engine/script/args.h"
#include "qmsetup/results.h"

namespace qm {

int CheckCommand(const std::string& args) {
  std::string path;
  if (!ArgsOuterQuoted(args, &path)) {
    WriteLogLine("Check data invalid, a path in double quotes is needed:" + args);
    return engine_code::kInvalidArgument;
  }
  const std::string full = IsAbsolutePath(path) ? path : EngineGetState().unpack_folder + "\\" + path;
  if (!PathFits(full, "Check path")) return engine_code::kInvalidArgument;
  if (::PathFileExistsA(full.c_str())) {
    WriteLogLine("Check " + full + " OK.");
    return engine_code::kOk;
  }
  WriteLogLine("Check " + full + " Not exist.");
  return engine_code::kFileMissing;
}

}  // namespace qm

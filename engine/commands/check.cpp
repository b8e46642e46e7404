// CHECK "path": is a payload file (or folder) present? Relative paths are below the unpack folder;
// placeholders are not expanded.
#include "engine/commands/commands.h"
#include "engine/log/log_text.h"
#include "engine/script/paths.h"

namespace qm {

EngineResult ExecuteCheck(const CommandContext& context, const CommandRecord& record) {
  if (!record.well_formed) return RejectMalformed(context, record);
  const std::string& path = record.subject;
  const std::string full = IsAbsolutePath(path) ? path : context.unpack_folder + "\\" + path;
  if (!PathFits(full, "Check path")) return EngineResult::kInvalidArgument;
  if (context.system.PathExists(full)) {
    context.Log(log_text::CheckFound(full));
    return EngineResult::kOk;
  }
  context.Log(log_text::CheckMissing(full));
  return EngineResult::kFileMissing;
}

}  // namespace qm

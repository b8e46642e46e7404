// DEL "path", OPTION: removes an installed file. CHECK_REF_COUNT releases one reference and
// deletes the file only when no other product uses it; FORCE drops every reference and deletes
// it (and the new file a stopped COPY left beside it). A file in use is deleted at the next
// restart. Afterwards the file's folder goes when nothing but dot-named entries is left in it.
#include "engine/commands/commands.h"
#include "engine/log/log_text.h"
#include "engine/ops/ref_count.h"
#include "engine/script/paths.h"

namespace qm {
namespace {

void DelRemoveFile(const CommandContext& context, const std::string& path) {
  System& system = context.system;
  if (!system.PathExists(path) || system.RemoveFile(path)) return;
  system.DeleteAtRestart(path);  // in use
  context.effects.restart_needed = 1;
  context.Log(log_text::DeletedAtRestart(path));
}

// Only the file's own folder; a folder that still holds a dot-named entry simply stays because
// the removal fails.
void RemoveFolderIfEmpty(System& system, const std::string& path) {
  const size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return;
  const std::string folder = path.substr(0, slash);
  if (system.FolderHoldsOnlyDotEntries(folder)) system.RemoveFolder(folder);
}

}  // namespace

EngineResult ExecuteDel(const CommandContext& context, const CommandRecord& record) {
  if (!record.well_formed) return RejectMalformed(context, record);
  std::string path = record.subject;
  QM_RETURN_IF_FAILED(ExpandPath(context, &path));
  const bool check = record.Has(kDelCheckRefCount);
  const bool force = record.Has(kDelForce);
  // Without an option DEL only looks at the file's folder; never at the host's current one.
  if (!check && !force) {
    if (!IsFolderRelativePath(path)) RemoveFolderIfEmpty(context.system, path);
    return EngineResult::kOk;
  }
  if (!PathFits(path, "Del path")) return EngineResult::kInvalidArgument;
  if (IsFolderRelativePath(path)) {  // it would delete wherever the host's current folder happens to be
    context.Log(log_text::DeletePathRelative(path));
    return EngineResult::kInvalidArgument;
  }
  bool remove = force;
  ReleaseReference(context, path, force, &remove);
  context.Log(log_text::Deleted(path, force));
  if (remove) {
    DelRemoveFile(context, path);
    // What a stopped COPY left beside the file under our side name; never another file.
    const std::string side = CopySideFile(path);
    if (!side.empty() && context.system.PathExists(side)) context.system.RemoveFile(side);
  }
  RemoveFolderIfEmpty(context.system, path);
  return EngineResult::kOk;
}

}  // namespace qm

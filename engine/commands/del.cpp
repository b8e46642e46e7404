// DEL "path", OPTION: removes an installed file. CHECK_REF_COUNT releases one reference and
// deletes the file only when no other product uses it; FORCE drops every reference and deletes
// it (and the new file a stopped COPY left beside it). A file in use is deleted at the next
// restart. Afterwards the file's folder goes when nothing but dot-named entries is left in it.
#include <windows.h>
#include <shlwapi.h>

#include "base/fs.h"
#include "base/win/scoped_handle.h"
#include "engine/api/engine_state.h"
#include "engine/commands/dispatcher.h"
#include "engine/commands/ref_count.h"
#include "engine/commands/restart_ops.h"
#include "engine/log/setup_log.h"
#include "engine/script/args.h"
#include "engine/script/variables.h"
#include "qmsetup/results.h"

namespace qm {
namespace {

std::string DelOption(const std::string& args) {
  size_t comma = args.rfind(',');
  std::string option;
  for (size_t i = comma == std::string::npos ? 0 : comma + 1; i < args.size(); ++i)
    if (args[i] != ' ' && args[i] != '\t') option += args[i];
  return option;
}

void DelRemoveFile(const std::string& path) {
  if (!::PathFileExistsA(path.c_str()) || FsDeleteFile(path)) return;
  DeleteAtRestart(path);  // in use
  EngineGetState().restart_needed = 1;
  WriteLogLine("Need reboot to Del file " + path + ".");
}

// Only the file's own folder; dot-named entries do not count, and a folder that still holds one
// simply stays because the removal fails.
void RemoveFolderIfEmpty(const std::string& path) {
  const size_t slash = path.rfind('\\');
  if (slash == std::string::npos) return;
  const std::string folder = path.substr(0, slash);
  WIN32_FIND_DATAA entry;
  ScopedFindHandle find(::FindFirstFileA((folder + "\\*.*").c_str(), &entry));
  if (find) {
    do {
      if (entry.cFileName[0] != '.') return;
    } while (::FindNextFileA(find.get(), &entry));
  }
  find.Reset();
  ::RemoveDirectoryA(folder.c_str());
}

}  // namespace

int DelCommand(const std::string& args) {
  std::string path;
  if (!ArgsFirstQuoted(args, &path)) {
    WriteLogLine("DEL data invalid, a path in double quotes is needed:" + args);
    return engine_code::kInvalidArgument;
  }
  if (!IsAbsolutePath(path)) {
    int r = VariablesExpand(EngineGetState().variables, &path);
    if (r != engine_code::kOk) return r;
  }
  const std::string option = DelOption(args);
  const bool check = option == "CHECK_REF_COUNT";
  const bool force = option == "FORCE";
  // Without an option DEL only looks at the file's folder; never at the host's current one.
  if (!check && !force) {
    if (!IsFolderRelativePath(path)) RemoveFolderIfEmpty(path);
    return engine_code::kOk;
  }
  if (!PathFits(path, "Del path")) return engine_code::kInvalidArgument;
  if (IsFolderRelativePath(path)) {  // it would delete wherever the host's current folder happens to be
    WriteLogLine("DEL path is relative to the current folder: " + path);
    return engine_code::kInvalidArgument;
  }
  bool remove = force;
  ReleaseReference(path, force, &remove);
  WriteLogLine("Del " + path + (force ? " OK./FORCE" : " OK./CHECK_REF_COUNT"));
  if (remove) {
    DelRemoveFile(path);
    // What a stopped COPY left beside the file under our side name; never another file.
    const std::string side = CopySideFile(path);
    if (!side.empty() && ::PathFileExistsA(side.c_str())) FsDeleteFile(side);
  }
  RemoveFolderIfEmpty(path);
  return engine_code::kOk;
}

}  // namespace qm

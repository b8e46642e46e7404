#include "engine/log/log_text.h"
#include "engine/ops/ref_count.h"

namespace qm {

bool RaiseCount(System& system, const std::string& key, const std::string& name) {
  uint32_t count = 0;
  switch (system.ReadCount(key, name, &count)) {
    case CountRead::kPresent:
      system.WriteCount(key, name, count + 1);
      return true;
    case CountRead::kAbsent:
      system.WriteCount(key, name, 1);
      return true;
    case CountRead::kFailed:
      break;
  }
  return false;
}

EngineResult AddReference(const CommandContext& context, const std::string& path) {
  System& system = context.system;
  // The family key first: the Ref key is made below it.
  if (!system.CreateKey(kFamilyKey) || !system.CreateKey(kRefKey) || !RaiseCount(system, kRefKey, path))
    return EngineResult::kReferenceStoreFailed;
  return EngineResult::kOk;
}

int GetReferenceCount(const CommandContext& context, const std::string& path) {
  uint32_t count = 0;
  if (!context.system.KeyExists(kFamilyKey) || context.system.ReadCount(kRefKey, path, &count) != CountRead::kPresent)
    return 0;
  return static_cast<int>(count);
}

EngineResult ReleaseReference(const CommandContext& context, const std::string& path, bool force, bool* delete_file) {
  System& system = context.system;
  uint32_t count = 0;
  if (!system.KeyExists(kFamilyKey) || system.ReadCount(kRefKey, path, &count) != CountRead::kPresent) {
    *delete_file = true;
    return EngineResult::kOk;
  }
  // A stored 0 is not decremented into 4294967295, which would keep the file for ever.
  if (count <= 1 || force) {
    *delete_file = true;
    system.DeleteValue(kRefKey, path);
  } else {
    system.WriteCount(kRefKey, path, count - 1);
  }
  if (!system.KeyHasValues(kRefKey)) system.DeleteKey(kFamilyKey, "Ref");
  CleanProductTree(context);
  return EngineResult::kOk;
}

void CleanProductTree(const CommandContext& context) {
  System& system = context.system;
  if (!system.KeyExists(kFamilyKey) || system.KeyHasSubKeys(kFamilyKey)) return;
  system.DeleteKey("Software", "QMSrv");
  context.effects.restart_needed = 1;
  const std::string product_folder = context.program_files_folder + "\\qmsrv";
  context.Log(log_text::ProductFolderGoes(product_folder));
  system.DeleteAtRestart(product_folder);
}

}  // namespace qm

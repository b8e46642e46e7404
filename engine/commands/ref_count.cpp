#include "engine/commands/ref_count.h"

#include <windows.h>

#include "base/win/reg_key.h"
#include "engine/api/engine_state.h"
#include "engine/commands/restart_ops.h"
#include "engine/log/setup_log.h"
#include "qmsetup/results.h"

namespace qm {

int AddReference(const std::string& path) {
  {
    RegKey family;  // only makes sure the parent exists
    if (family.OpenOrCreate(HKEY_LOCAL_MACHINE, kFamilyKey) != ERROR_SUCCESS) return engine_code::kReferenceStoreFailed;
  }
  RegKey refs;
  if (refs.OpenOrCreate(HKEY_LOCAL_MACHINE, kRefKey) != ERROR_SUCCESS) return engine_code::kReferenceStoreFailed;
  DWORD count = 0;
  switch (refs.ReadCount(path.c_str(), &count)) {
    case RegCount::kPresent:
      refs.WriteDword(path.c_str(), count + 1);
      break;
    case RegCount::kAbsent:
      refs.WriteDword(path.c_str(), 1);
      break;
    case RegCount::kFailed:
      return engine_code::kReferenceStoreFailed;
  }
  return engine_code::kOk;
}

int GetReferenceCount(const std::string& path) {
  RegKey family;
  if (family.Open(HKEY_LOCAL_MACHINE, kFamilyKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return 0;
  family.Close();
  RegKey refs;
  DWORD count = 0;
  if (refs.Open(HKEY_LOCAL_MACHINE, kRefKey, KEY_ALL_ACCESS) != ERROR_SUCCESS ||
      refs.ReadCount(path.c_str(), &count) != RegCount::kPresent)
    return 0;
  return static_cast<int>(count);
}

int ReleaseReference(const std::string& path, bool force, bool* delete_file) {
  RegKey family;
  if (family.Open(HKEY_LOCAL_MACHINE, kFamilyKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) {
    *delete_file = true;
    return engine_code::kOk;
  }
  family.Close();
  RegKey refs;
  DWORD count = 0;
  if (refs.Open(HKEY_LOCAL_MACHINE, kRefKey, KEY_ALL_ACCESS) != ERROR_SUCCESS ||
      refs.ReadCount(path.c_str(), &count) != RegCount::kPresent) {
    *delete_file = true;
    return engine_code::kOk;
  }
  // A stored 0 is not decremented into 4294967295, which would keep the file for ever.
  if (count <= 1 || force) {
    *delete_file = true;
    refs.DeleteValue(path.c_str());
  } else {
    refs.WriteDword(path.c_str(), count - 1);
  }
  if (!refs.HasAnyValue()) {
    refs.Close();
    if (family.Open(HKEY_LOCAL_MACHINE, kFamilyKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) family.DeleteSubKey("Ref");
  }
  family.Close();
  refs.Close();
  CleanProductTree();
  return engine_code::kOk;
}

void CleanProductTree() {
  {
    RegKey family;
    if (family.Open(HKEY_LOCAL_MACHINE, kFamilyKey, KEY_ALL_ACCESS) != ERROR_SUCCESS || family.HasAnySubKey()) return;
  }
  RegKey software;
  if (software.Open(HKEY_LOCAL_MACHINE, "Software", KEY_ALL_ACCESS) == ERROR_SUCCESS) software.DeleteSubKey("QMSrv");
  EngineState& state = EngineGetState();
  state.restart_needed = 1;
  const std::string product_folder = state.program_files_folder + "\\qmsrv";
  WriteLogLine("Delete Dir is: " + product_folder);
  DeleteAtRestart(product_folder);
}

}  // namespace qm

// The product record under HKLM\Software\QMSrv: whether an install or removal is wanted at all
// (IsInstall), and recording its outcome (Finish).
#include <windows.h>

#include "base/result_codes.h"
#include "base/win/reg_key.h"
#include "engine/api/engine_state.h"
#include "engine/api/entry_points.h"
#include "engine/log/setup_log.h"
#include "engine/script/variables.h"

namespace qm {

int EngineIsInstall(const std::string& mode) {
  EngineState& state = EngineGetState();
  std::string product;
  int r = VariablesLookUp(state.variables, "{PRODUCT_GUID}", &product);
  if (r != engine_code::kOk) return r;
  if (product.empty()) return engine_code::kVariableUndefined;
  DWORD count = 0;
  if (mode == "INSTALL") {
    state.install_mode = 1;
    WriteLogLine("====>Begin to INSTALL:");
    {
      RegKey family;
      if (family.Open(HKEY_LOCAL_MACHINE, "Software\\QMSrv", KEY_ALL_ACCESS) != ERROR_SUCCESS) return engine_code::kOk;
      state.restart_needed = 1;
      WriteLogLine("The INSTALL Need Reboot!!!");
    }
    RegKey products;
    if (products.Open(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Product", KEY_ALL_ACCESS) != ERROR_SUCCESS)
      return engine_code::kOk;
    if (products.ReadCount(product.c_str(), &count) == RegCount::kPresent) {
      WriteLogLine("Product have already install is " + product);
      WriteLogLine("<====Ending to INSTALL:");
      return engine_code::kAlreadyInstalled;
    }
    WriteLogLine("<====Ending to INSTALL:");
    return engine_code::kOk;
  }
  if (mode == "UNINSTALL") {
    state.install_mode = 0;
    WriteLogLine("====>Begin to UNINSTALL:");
    RegKey products;  // opens only where Software\QMSrv exists too
    if (products.Open(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Product", KEY_ALL_ACCESS) != ERROR_SUCCESS ||
        products.ReadCount(product.c_str(), &count) != RegCount::kPresent)
      return engine_code::kNotInstalled;
    WriteLogLine("Product is " + product);
    WriteLogLine("<====Ending to UNINSTALL:");
    return engine_code::kOk;
  }
  return engine_code::kInvalidArgument;
}

// Product registration and the restart marker come with their own change.
int EngineFinish() {
  WriteLogLine("====>Begin to Finish:");
  WriteLogLine("Finish is not supported by this engine.");
  return engine_code::kInvalidArgument;
}

}  // namespace qm

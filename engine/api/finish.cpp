// IsInstall and Finish: whether an install or removal is wanted at all, and recording its outcome
// in the product record under HKLM\Software\QMSrv.
#include <windows.h>
#include <shlwapi.h>

#include "base/result.h"
#include "base/win/reg_key.h"
#include "engine/api/entry_points.h"
#include "engine/api/win32_system.h"
#include "engine/commands/dispatcher.h"
#include "engine/core/engine_state.h"
#include "engine/core/platform.h"
#include "engine/log/log_text.h"
#include "engine/log/setup_log.h"
#include "engine/ops/product_record.h"
#include "engine/ops/ref_count.h"
#include "engine/ops/restart_ops.h"
#include "engine/script/variables.h"
#include "qmsetup/names.h"
#include "qmsetup/results.h"

namespace qm {
namespace {

constexpr char kSlotDaemonService[] = "SYSTEM\\CurrentControlSet\\Services\\qmSlotD";
constexpr char kSmartCardService[] = "SYSTEM\\CurrentControlSet\\Services\\SCardSvr";
// REG_MULTI_SZ: the one name, its NUL and the list's closing NUL.
constexpr char kDependOnService[] = "SCardSvr\0";
constexpr DWORD kDependOnServiceSize = sizeof(kDependOnService);  // 10 bytes
constexpr char kLocalServiceAccount[] = "NT AUTHORITY\\LocalService";

struct Identity {
  std::string product;
  std::string company;
  std::string version;
};

EngineResult FinishIdentity(const CommandContext& context, Identity* id) {
  QM_RETURN_IF_FAILED(ProductIdentity(context, "{PRODUCT_GUID}", &id->product));
  QM_RETURN_IF_FAILED(ProductIdentity(context, "{COMPANY_GUID}", &id->company));
  return ProductIdentity(context, "{PRODUCT_VER}", &id->version);
}

// With the smart-card monitor installed, the slot daemon depends on the smart-card service, which
// runs as the local service on the NT versions with a minor number (5.1, 5.2, 6.1).
void FinishServiceSettings() {
  const std::string monitor = EngineGetState().program_files_folder + "\\qmsrv\\slotmon\\scardmon.dll";
  {
    RegKey refs;
    DWORD count = 0;
    if (refs.Open(HKEY_LOCAL_MACHINE, kRefKey, KEY_QUERY_VALUE) != ERROR_SUCCESS ||
        refs.ReadCount(monitor.c_str(), &count) != RegCount::kPresent)
      return;
  }
  const OSVERSIONINFOA platform = PlatformQuery();
  if (!PlatformIsNt(platform)) return;
  RegKey slot_daemon;
  if (slot_daemon.Open(HKEY_LOCAL_MACHINE, kSlotDaemonService, KEY_ALL_ACCESS) == ERROR_SUCCESS)
    slot_daemon.WriteRaw("DependOnService", REG_MULTI_SZ, kDependOnService, kDependOnServiceSize);
  if (!PlatformMinorTest(platform)) return;
  RegKey smart_card;
  if (smart_card.Open(HKEY_LOCAL_MACHINE, kSmartCardService, KEY_ALL_ACCESS) == ERROR_SUCCESS)
    smart_card.WriteString("ObjectName", kLocalServiceAccount);
}

EngineResult FinishInstall(const CommandContext& context, int language_id, const Identity& id) {
  WriteLogLine(log_text::kThisIsInstall);
  System& system = context.system;
  QM_RETURN_IF_FAILED(ProductOpenRecords(context));
  QM_RETURN_IF_FAILED(ProductEnsureCount(context, id.product));
  system.WriteString(kProductKey, id.company, std::to_string(language_id));
  const std::string company_count = "Ref_" + id.company;
  if (!RaiseCount(system, kProductKey, company_count)) {
    WriteLogLine(log_text::CompanyCountUnreadable(company_count));
    return EngineResult::kCompanyCountFailed;
  }
  ProductWriteVersion(context, id.product, id.version);
  FinishServiceSettings();
  WriteLogLine(log_text::ProductIs(std::string(kProductKey) + "\\" + id.product));
  WriteLogLine(log_text::ProductVersionIs(id.version));
  WriteLogLine(log_text::CompanyIs(id.company));
  return EngineResult::kOk;
}

// After the last product of the family: the records, the tree and the empty product folder go.
void FinishRemoveFamily() {
  RegKey family;
  if (family.Open(HKEY_LOCAL_MACHINE, kFamilyKey, KEY_ALL_ACCESS) != ERROR_SUCCESS || family.HasAnySubKey()) return;
  family.Close();
  RegKey software;
  if (software.Open(HKEY_LOCAL_MACHINE, "Software", KEY_ALL_ACCESS) == ERROR_SUCCESS) software.DeleteSubKey("QMSrv");
  const std::string folder = EngineGetState().program_files_folder + "\\qmsrv";
  WriteLogLine(log_text::ProductFolderGoes(folder));
  if (!::RemoveDirectoryA(folder.c_str()))
    WriteLogLine(log_text::ProductFolderGoes(folder) + LogLastErrorSuffix(::GetLastError()));
}

EngineResult FinishUninstall(const Identity& id) {
  WriteLogLine(log_text::kThisIsUninstall);
  {
    RegKey family;
    if (family.Open(HKEY_LOCAL_MACHINE, kFamilyKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return EngineResult::kNotInstalled;
  }
  {
    RegKey products;
    if (products.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return EngineResult::kNotInstalled;
    products.DeleteValue("KX_TIME");
    DWORD count = 0;
    if (products.ReadCount(id.product.c_str(), &count) != RegCount::kPresent) return EngineResult::kNotInstalled;
    // A count of 0 is taken as the last one: decremented it would wrap and never go.
    if (count <= 1) {
      products.DeleteValue(id.product.c_str());
      products.DeleteSubKeyTree(id.product.c_str());
    } else {
      products.WriteDword(id.product.c_str(), count - 1);
    }
    const std::string company_count = "Ref_" + id.company;
    if (products.ReadCount(company_count.c_str(), &count) != RegCount::kPresent) {
      products.DeleteValue(id.company.c_str());
    } else if (count <= 1) {
      products.DeleteValue(id.company.c_str());
      products.DeleteValue(company_count.c_str());
    } else {
      products.WriteDword(company_count.c_str(), count - 1);
    }
    if (!products.HasAnyValue()) {
      products.Close();
      RegKey family;
      if (family.Open(HKEY_LOCAL_MACHINE, kFamilyKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        family.DeleteSubKey("Product");
        family.DeleteSubKey("security");
      }
    }
  }
  FinishRemoveFamily();
  WriteLogLine(log_text::ProductIs(id.product));
  return EngineResult::kOk;
}

// The restart marker, removed by the restart itself. kDoneRestartNeeded, or kMarkerNotCreated.
EngineResult FinishMarkRestart(const EngineState& state) {
  const std::string marker = state.windows_temp_folder + "\\" + qmsetup::kRestartMarkerName;
  if (!::PathFileExistsA(marker.c_str())) {
    HANDLE file = ::CreateFileA(marker.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      WriteLogLine(log_text::MarkerNotCreated(marker) + LogLastErrorSuffix(::GetLastError()));
      return EngineResult::kMarkerNotCreated;
    }
    ::CloseHandle(file);
  }
  DeleteAtRestart(state, marker);
  WriteLogLine(log_text::kSystemNeedsRestart);
  return EngineResult::kDoneRestartNeeded;
}

}  // namespace

EngineResult EngineIsInstall(const std::string& mode) {
  EngineState& state = EngineGetState();
  Win32System system(state);
  std::string product;
  QM_RETURN_IF_FAILED(ProductIdentity(ChapterContext(state, system), "{PRODUCT_GUID}", &product));
  DWORD count = 0;
  if (mode == "INSTALL") {
    state.install_mode = 1;
    WriteLogLine(log_text::kInstallBegin);
    {
      RegKey family;
      if (family.Open(HKEY_LOCAL_MACHINE, kFamilyKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return EngineResult::kOk;
      state.effects.restart_needed = 1;
      WriteLogLine(log_text::kInstallNeedsRestart);
    }
    RegKey products;
    if (products.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return EngineResult::kOk;
    if (products.ReadCount(product.c_str(), &count) == RegCount::kPresent) {
      WriteLogLine(log_text::AlreadyInstalled(product));
      WriteLogLine(log_text::kInstallEnd);
      return EngineResult::kAlreadyInstalled;
    }
    WriteLogLine(log_text::kInstallEnd);
    return EngineResult::kOk;
  }
  if (mode == "UNINSTALL") {
    state.install_mode = 0;
    WriteLogLine(log_text::kUninstallBegin);
    RegKey products;  // opens only where Software\QMSrv exists too
    if (products.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_ALL_ACCESS) != ERROR_SUCCESS ||
        products.ReadCount(product.c_str(), &count) != RegCount::kPresent)
      return EngineResult::kNotInstalled;
    WriteLogLine(log_text::ProductIs(product));
    WriteLogLine(log_text::kUninstallEnd);
    return EngineResult::kOk;
  }
  WriteLogLine(log_text::IsInstallModeInvalid(mode));
  return EngineResult::kInvalidArgument;
}

EngineResult EngineFinish() {
  WriteLogLine(log_text::kFinishBegin);
  EngineState& state = EngineGetState();
  Win32System system(state);
  const CommandContext context = ChapterContext(state, system);
  Identity id;
  QM_RETURN_IF_FAILED(FinishIdentity(context, &id));
  QM_RETURN_IF_FAILED(state.install_mode == 1 ? FinishInstall(context, state.language_id, id) : FinishUninstall(id));
  EngineResult r = EngineResult::kOk;
  if (state.effects.restart_needed) r = FinishMarkRestart(state);
  if (r == EngineResult::kMarkerNotCreated) return r;
  WriteLogLine(log_text::kFinished);
  WriteLogLine(log_text::kFinishEnd);
  return r;
}

}  // namespace qm

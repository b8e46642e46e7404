// The product record under HKLM\Software\QMSrv: whether an install or removal is wanted at all
// (IsInstall), and recording its outcome (Finish).
#include "engine/api/product_record.h"

#include <windows.h>
#include <shlwapi.h>

#include "engine/api/engine_state.h"
#include "engine/api/entry_points.h"
#include "engine/api/platform.h"
#include "engine/commands/ref_count.h"
#include "engine/commands/restart_ops.h"
#include "engine/log/setup_log.h"
#include "engine/script/variables.h"
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

int FinishIdentity(Identity* id) {
  int r = ProductIdentity("{PRODUCT_GUID}", &id->product);
  if (r == engine_code::kOk) r = ProductIdentity("{COMPANY_GUID}", &id->company);
  if (r == engine_code::kOk) r = ProductIdentity("{PRODUCT_VER}", &id->version);
  return r;
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

int FinishInstall(const Identity& id) {
  WriteLogLine("====>This is INSTALL:");
  EngineState& state = EngineGetState();
  {
    RegKey products;
    int r = ProductOpenRecords(&products);
    if (r == engine_code::kOk) r = ProductEnsureCount(products, id.product);
    if (r != engine_code::kOk) return r;
    products.WriteString(id.company.c_str(), std::to_string(state.language_id));
    const std::string company_count = "Ref_" + id.company;
    DWORD count = 0;
    switch (products.ReadCount(company_count.c_str(), &count)) {
      case RegCount::kPresent:
        products.WriteDword(company_count.c_str(), count + 1);
        break;
      case RegCount::kAbsent:
        products.WriteDword(company_count.c_str(), 1);
        break;
      case RegCount::kFailed:
        WriteLogLine("Company count " + company_count + " cannot be read.");
        return engine_code::kCompanyCountFailed;
    }
  }
  ProductWriteVersion(id.product, id.version);
  FinishServiceSettings();
  WriteLogLine(std::string("Product is ") + kProductKey + "\\" + id.product);
  WriteLogLine("Product ver is " + id.version);
  WriteLogLine("Company is " + id.company);
  return engine_code::kOk;
}

// After the last product of the family: the records, the tree and the empty product folder go.
void FinishRemoveFamily() {
  RegKey family;
  if (family.Open(HKEY_LOCAL_MACHINE, kFamilyKey, KEY_ALL_ACCESS) != ERROR_SUCCESS || family.HasAnySubKey()) return;
  family.Close();
  RegKey software;
  if (software.Open(HKEY_LOCAL_MACHINE, "Software", KEY_ALL_ACCESS) == ERROR_SUCCESS) software.DeleteSubKey("QMSrv");
  const std::string folder = EngineGetState().program_files_folder + "\\qmsrv";
  WriteLogLine("Delete Dir is: " + folder);
  if (!::RemoveDirectoryA(folder.c_str())) WriteLogLine("Delete Dir is: " + folder + LogLastErrorSuffix(::GetLastError()));
}

int FinishUninstall(const Identity& id) {
  WriteLogLine("====>This is UNINSTALL:");
  {
    RegKey family;
    if (family.Open(HKEY_LOCAL_MACHINE, kFamilyKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return engine_code::kNotInstalled;
  }
  {
    RegKey products;
    if (products.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return engine_code::kNotInstalled;
    products.DeleteValue("KX_TIME");
    DWORD count = 0;
    if (products.ReadCount(id.product.c_str(), &count) != RegCount::kPresent) return engine_code::kNotInstalled;
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
  WriteLogLine("Product is " + id.product);
  return engine_code::kOk;
}

// The restart marker, removed by the restart itself. 12, or 14 when it cannot be created.
int FinishMarkRestart() {
  const std::string marker = EngineGetState().windows_temp_folder + "\\" + qmsetup::kRestartMarkerName;
  if (!::PathFileExistsA(marker.c_str())) {
    HANDLE file = ::CreateFileA(marker.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      WriteLogLine("Restart marker " + marker + " cannot be created." + LogLastErrorSuffix(::GetLastError()));
      return engine_code::kMarkerNotCreated;
    }
    ::CloseHandle(file);
  }
  DeleteAtRestart(marker);
  WriteLogLine("System need reboot.");
  return engine_code::kRestartPending;
}

}  // namespace

int ProductIdentity(const char* name, std::string* value) {
  int r = VariablesLookUp(EngineGetState().variables, name, value);
  if (r != engine_code::kOk) return r;
  if (value->empty()) {
    WriteLogLine(std::string(name) + " is empty.");
    return engine_code::kVariableUndefined;
  }
  return engine_code::kOk;
}

int ProductOpenRecords(RegKey* products) {
  {
    RegKey family;
    if (family.OpenOrCreate(HKEY_LOCAL_MACHINE, kFamilyKey) != ERROR_SUCCESS) {
      WriteLogLine(std::string("Key ") + kFamilyKey + " cannot be opened.");
      return engine_code::kProductKeyFailed;
    }
  }
  if (products->OpenOrCreate(HKEY_LOCAL_MACHINE, kProductKey) != ERROR_SUCCESS) {
    WriteLogLine(std::string("Key ") + kProductKey + " cannot be opened.");
    return engine_code::kProductKeyFailed;
  }
  return engine_code::kOk;
}

int ProductEnsureCount(const RegKey& products, const std::string& product) {
  DWORD count = 0;
  switch (products.ReadCount(product.c_str(), &count)) {
    case RegCount::kPresent:
      return engine_code::kOk;
    case RegCount::kAbsent:
      products.WriteDword(product.c_str(), 1);
      return engine_code::kOk;
    case RegCount::kFailed:
      break;
  }
  WriteLogLine("Product count " + product + " cannot be read.");
  return engine_code::kProductKeyFailed;
}

void ProductWriteVersion(const std::string& product, const std::string& version) {
  RegKey details;
  if (details.OpenOrCreate(HKEY_LOCAL_MACHINE, (std::string(kProductKey) + "\\" + product).c_str()) == ERROR_SUCCESS)
    details.WriteString("PRODUCT_VER", version);
}

int EngineIsInstall(const std::string& mode) {
  EngineState& state = EngineGetState();
  std::string product;
  int r = ProductIdentity("{PRODUCT_GUID}", &product);
  if (r != engine_code::kOk) return r;
  DWORD count = 0;
  if (mode == "INSTALL") {
    state.install_mode = 1;
    WriteLogLine("====>Begin to INSTALL:");
    {
      RegKey family;
      if (family.Open(HKEY_LOCAL_MACHINE, kFamilyKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return engine_code::kOk;
      state.restart_needed = 1;
      WriteLogLine("The INSTALL Need Reboot!!!");
    }
    RegKey products;
    if (products.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_ALL_ACCESS) != ERROR_SUCCESS) return engine_code::kOk;
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
    if (products.Open(HKEY_LOCAL_MACHINE, kProductKey, KEY_ALL_ACCESS) != ERROR_SUCCESS ||
        products.ReadCount(product.c_str(), &count) != RegCount::kPresent)
      return engine_code::kNotInstalled;
    WriteLogLine("Product is " + product);
    WriteLogLine("<====Ending to UNINSTALL:");
    return engine_code::kOk;
  }
  WriteLogLine("IsInstall mode must be INSTALL or UNINSTALL: " + mode);
  return engine_code::kInvalidArgument;
}

int EngineFinish() {
  WriteLogLine("====>Begin to Finish:");
  Identity id;
  int r = FinishIdentity(&id);
  if (r != engine_code::kOk) return r;
  r = EngineGetState().install_mode == 1 ? FinishInstall(id) : FinishUninstall(id);
  if (r != engine_code::kOk) return r;
  if (EngineGetState().restart_needed) r = FinishMarkRestart();
  if (r == engine_code::kMarkerNotCreated) return r;
  WriteLogLine("Finish.");
  WriteLogLine("<====Ending to Finish:");
  return r;
}

}  // namespace qm

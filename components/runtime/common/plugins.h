// The device monitor and token service provider libraries of the product folder, loaded by the
// daemons: <folder>\slotmon\*.dll and <folder>\tsp\*.dll.
#ifndef QM_COMPONENTS_RUNTIME_COMMON_PLUGINS_H_
#define QM_COMPONENTS_RUNTIME_COMMON_PLUGINS_H_

#include <windows.h>

#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "components/runtime/common/plugin_api.h"
#include "components/runtime/common/runtime_codes.h"

namespace qm {

struct Monitor {
  std::string file;  // name only
  std::string kind;
  ScopedModule module;
  QmMonEnumerateFn enumerate = nullptr;
};

struct Provider {
  std::string file;
  std::string model;
  std::string monitor_kind;
  ScopedModule module;
  QmTspCountTokensFn count_tokens = nullptr;
};

struct Plugins {
  std::vector<Monitor> monitors;
  std::vector<Provider> providers;
  std::vector<std::string> problems;  // one line per library that could not be used
};

Plugins LoadPlugins(const std::string& product_folder);

// A monitor's device list as it wrote it (entries with their NULs, the closing one left off).
PluginResult MonitorList(const Monitor& monitor, const std::string& filter, std::string* list);
// The entries of such a list.
std::vector<std::string> ListEntries(const std::string& list);

// Every provider asked about the devices of its monitor's kind; |hid_filter| is what the hid
// monitor looks for. Sums the tokens found.
DWORD CountTokens(const Plugins& plugins, const std::string& hid_filter);

// "hidmon.dll (hid), scardmon.dll (pcsc); providers qmtsp_kx2.dll (KX2), ..." for the log.
std::string DescribePlugins(const Plugins& plugins);

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_COMMON_PLUGINS_H_

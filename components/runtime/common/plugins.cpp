#include "components/runtime/common/plugins.h"

#include <algorithm>

#include "base/result.h"
#include "components/runtime/common/runtime_codes.h"

namespace qm {
namespace {

// A device list larger than this is not believed.
constexpr DWORD kMaxListBytes = 1 << 20;

std::vector<std::string> DllsIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  ScopedFindHandle find(::FindFirstFileA((folder + "\\*.dll").c_str(), &data));
  if (!find) return names;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
  } while (::FindNextFileA(find.get(), &data));
  std::sort(names.begin(), names.end());
  return names;
}

std::string Field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

bool LoadMonitor(const std::string& folder, const std::string& file, Monitor* monitor, std::string* problem) {
  ScopedModule module(::LoadLibraryA((folder + "\\" + file).c_str()));
  if (!module) {
    *problem = file + ": cannot be loaded (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  auto info_fn = reinterpret_cast<QmMonGetInfoFn>(::GetProcAddress(module.get(), "QmMonGetInfo"));
  auto enumerate = reinterpret_cast<QmMonEnumerateFn>(::GetProcAddress(module.get(), "QmMonEnumerate"));
  QmMonitorInfo info = {};
  info.size = sizeof(info);
  if (!info_fn || !enumerate || static_cast<PluginResult>(info_fn(&info)) != PluginResult::kOk ||
      info.interface_version != kPluginInterfaceVersion) {
    *problem = file + ": not a device monitor of this version";
    return false;
  }
  monitor->file = file;
  monitor->kind = Field(info.kind, sizeof(info.kind));
  monitor->enumerate = enumerate;
  monitor->module = std::move(module);
  return true;
}

bool LoadProvider(const std::string& folder, const std::string& file, Provider* provider, std::string* problem) {
  ScopedModule module(::LoadLibraryA((folder + "\\" + file).c_str()));
  if (!module) {
    *problem = file + ": cannot be loaded (error " + std::to_string(::GetLastError()) + ")";
    return false;
  }
  auto info_fn = reinterpret_cast<QmTspGetInfoFn>(::GetProcAddress(module.get(), "QmTspGetInfo"));
  auto count = reinterpret_cast<QmTspCountTokensFn>(::GetProcAddress(module.get(), "QmTspCountTokens"));
  QmProviderInfo info = {};
  info.size = sizeof(info);
  if (!info_fn || !count || static_cast<PluginResult>(info_fn(&info)) != PluginResult::kOk ||
      info.interface_version != kPluginInterfaceVersion) {
    *problem = file + ": not a token service provider of this version";
    return false;
  }
  provider->file = file;
  provider->model = Field(info.model, sizeof(info.model));
  provider->monitor_kind = Field(info.monitor_kind, sizeof(info.monitor_kind));
  provider->count_tokens = count;
  provider->module = std::move(module);
  return true;
}

}  // namespace

Plugins LoadPlugins(const std::string& product_folder) {
  Plugins plugins;
  std::string problem;
  const std::string monitors = product_folder + "\\slotmon";
  for (const std::string& file : DllsIn(monitors)) {
    Monitor monitor;
    if (LoadMonitor(monitors, file, &monitor, &problem))
      plugins.monitors.push_back(std::move(monitor));
    else
      plugins.problems.push_back(problem);
  }
  const std::string providers = product_folder + "\\tsp";
  for (const std::string& file : DllsIn(providers)) {
    Provider provider;
    if (LoadProvider(providers, file, &provider, &problem))
      plugins.providers.push_back(std::move(provider));
    else
      plugins.problems.push_back(problem);
  }
  return plugins;
}

PluginResult MonitorList(const Monitor& monitor, const std::string& filter, std::string* list) {
  std::string buffer(256, '\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD needed = 0;
    DWORD count = 0;
    const auto result = static_cast<PluginResult>(
        monitor.enumerate(filter.c_str(), &buffer[0], static_cast<DWORD>(buffer.size()), &needed, &count));
    if (result == PluginResult::kBufferTooSmall && needed > buffer.size() && needed <= kMaxListBytes) {
      buffer.assign(needed, '\0');
      continue;  // devices may come between the two calls
    }
    QM_RETURN_IF_FAILED(result);
    size_t end = 0;
    while (end < buffer.size() && buffer[end] != '\0') end += strnlen(&buffer[end], buffer.size() - end) + 1;
    list->assign(buffer.data(), std::min(end, buffer.size()));
    return PluginResult::kOk;
  }
  return PluginResult::kFailed;
}

std::vector<std::string> ListEntries(const std::string& list) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < list.size()) {
    size_t end = list.find('\0', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) entries.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return entries;
}

DWORD CountTokens(const Plugins& plugins, const std::string& hid_filter) {
  DWORD total = 0;
  for (const Provider& provider : plugins.providers) {
    for (const Monitor& monitor : plugins.monitors) {
      if (monitor.kind != provider.monitor_kind) continue;
      std::string list;
      if (MonitorList(monitor, monitor.kind == "hid" ? hid_filter : std::string(), &list) != PluginResult::kOk)
        continue;
      list.push_back('\0');  // the closing empty entry
      DWORD count = 0;
      if (static_cast<PluginResult>(provider.count_tokens(list.c_str(), &count)) == PluginResult::kOk) total += count;
    }
  }
  return total;
}

std::string DescribePlugins(const Plugins& plugins) {
  std::string text = "monitors";
  for (const Monitor& monitor : plugins.monitors) text += " " + monitor.file + " (" + monitor.kind + ")";
  if (plugins.monitors.empty()) text += " none";
  text += "; providers";
  for (const Provider& provider : plugins.providers) text += " " + provider.file + " (" + provider.model + ")";
  if (plugins.providers.empty()) text += " none";
  return text;
}

}  // namespace qm

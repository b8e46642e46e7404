// qmtsp_<model>.dll: the token service provider of one token model, built once per model
// (QM_TSP_MODEL). This build carries no token protocol: it reads the devices its monitor
// reports and answers "no token" for each of them.
#include <windows.h>

#include "base/result.h"
#include "components/runtime/common/device_list.h"
#include "components/runtime/common/plugin_api.h"
#include "components/runtime/common/runtime_codes.h"

#ifndef QM_TSP_MODEL
#error "QM_TSP_MODEL names the token model"
#endif

namespace {

qm::PluginResult GetInfo(QmProviderInfo* info) {
  if (!info || info->size < sizeof(QmProviderInfo)) return qm::PluginResult::kBadArgument;
  info->interface_version = kPluginInterfaceVersion;
  qm::CopyField(info->model, sizeof(info->model), QM_TSP_MODEL);
  qm::CopyField(info->monitor_kind, sizeof(info->monitor_kind), "hid");
  return qm::PluginResult::kOk;
}

qm::PluginResult CountTokens(const char* devices, DWORD* count) {
  if (!devices || !count) return qm::PluginResult::kBadArgument;
  // Every device answers "no token": there is no protocol here to ask it with.
  *count = 0;
  return qm::PluginResult::kOk;
}

}  // namespace

extern "C" int __stdcall QmTspGetInfo(QmProviderInfo* info) { return qm::ToInt(GetInfo(info)); }

extern "C" int __stdcall QmTspCountTokens(const char* devices, DWORD* count) {
  return qm::ToInt(CountTokens(devices, count));
}

// scardmon.dll: the smart-card readers PC/SC reports. winscard.dll is looked up at run time, so
// the library also loads where the smart-card base components are not installed.
#include <windows.h>

#include <string>
#include <vector>

#include "base/result.h"
#include "base/win/scoped_handle.h"
#include "components/runtime/common/device_list.h"
#include "components/runtime/common/plugin_api.h"
#include "components/runtime/common/runtime_codes.h"

namespace {

using qm::PluginResult;

using Context = ULONG_PTR;  // SCARDCONTEXT
using EstablishFn = LONG(WINAPI*)(DWORD, LPCVOID, LPCVOID, Context*);
using ListReadersFn = LONG(WINAPI*)(Context, LPCSTR, LPSTR, LPDWORD);
using ReleaseFn = LONG(WINAPI*)(Context);

constexpr DWORD kScopeSystem = 2;                           // SCARD_SCOPE_SYSTEM
constexpr LONG kNoReaders = static_cast<LONG>(0x8010002E);  // SCARD_E_NO_READERS_AVAILABLE
constexpr DWORD kMaxReaderList = 64 * 1024;

// Owns a PC/SC context; its release call comes from winscard.dll, loaded by the caller.
class ScopedContext {
 public:
  explicit ScopedContext(ReleaseFn release) : release_(release) {}
  ScopedContext(const ScopedContext&) = delete;
  ScopedContext& operator=(const ScopedContext&) = delete;
  ~ScopedContext() {
    if (valid_) release_(context_);
  }
  Context* receive() { return &context_; }
  void set_valid() { valid_ = true; }
  Context get() const { return context_; }

 private:
  ReleaseFn release_;
  Context context_ = 0;
  bool valid_ = false;
};

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

PluginResult Enumerate(const char* filter, char* list, DWORD size, DWORD* needed, DWORD* count) {
  if (!filter || !needed || !count) return PluginResult::kBadArgument;
  qm::ScopedModule winscard(::LoadLibraryA("winscard.dll"));
  if (!winscard) return PluginResult::kUnavailable;
  auto establish = reinterpret_cast<EstablishFn>(::GetProcAddress(winscard.get(), "SCardEstablishContext"));
  auto list_readers = reinterpret_cast<ListReadersFn>(::GetProcAddress(winscard.get(), "SCardListReadersA"));
  auto release = reinterpret_cast<ReleaseFn>(::GetProcAddress(winscard.get(), "SCardReleaseContext"));
  if (!establish || !list_readers || !release) return PluginResult::kUnavailable;
  std::vector<std::string> entries;
  {
    ScopedContext context(release);
    // No resource manager (the smart-card service is not running): nothing can be seen.
    if (establish(kScopeSystem, nullptr, nullptr, context.receive()) != 0) return PluginResult::kUnavailable;
    context.set_valid();
    DWORD length = 0;
    LONG status = list_readers(context.get(), nullptr, nullptr, &length);
    if (status == kNoReaders) return qm::WriteDeviceList(entries, list, size, needed, count);
    if (status != 0 || length == 0 || length > kMaxReaderList) return PluginResult::kFailed;
    std::vector<char> names(length + 2, '\0');
    status = list_readers(context.get(), nullptr, names.data(), &length);
    if (status == kNoReaders) return qm::WriteDeviceList(entries, list, size, needed, count);
    if (status != 0) return PluginResult::kFailed;
    const std::string wanted = Lower(filter);
    for (const char* name = names.data(); *name; name += std::strlen(name) + 1)
      if (wanted.empty() || Lower(name).find(wanted) != std::string::npos) entries.push_back(name);
  }
  return qm::WriteDeviceList(entries, list, size, needed, count);
}

}  // namespace

extern "C" int __stdcall QmMonGetInfo(QmMonitorInfo* info) { return qm::ToInt(qm::MonitorGetInfo(info, "pcsc")); }

extern "C" int __stdcall QmMonEnumerate(const char* filter, char* list, DWORD size, DWORD* needed, DWORD* count) {
  return qm::ToInt(qm::MonitorEnumerateGuarded([&] { return Enumerate(filter, list, size, needed, count); }));
}

// What commands and operations ask of the system: files, the machine's registry (below
// HKEY_LOCAL_MACHINE), restart-time work, processes and libraries. The engine uses the Win32
// implementation; native tests give the rules an in-memory one. Portable: no windows.h.
#ifndef QM_ENGINE_CORE_SYSTEM_H_
#define QM_ENGINE_CORE_SYSTEM_H_

#include <cstdint>
#include <string>

#include "qmsetup/results.h"

namespace qm {

// A Win32 error code as the system reports it (GetLastError); kSystemOk when the call succeeded.
using SystemError = uint32_t;
constexpr SystemError kSystemOk = 0;

// How a 4-byte count reads: present (any type, at most 4 bytes), absent, or unreadable.
enum class CountRead { kPresent, kAbsent, kFailed };

using ModuleHandle = void*;
using ExportAddress = void*;

class System {
 public:
  virtual ~System() = default;

  // Files. A path is a file's or a folder's, as the script gives it.
  virtual bool PathExists(const std::string& path) = 0;
  virtual SystemError CopyTo(const std::string& from, const std::string& to) = 0;  // replaces |to|
  virtual SystemError MoveTo(const std::string& from, const std::string& to) = 0;  // |to| must not exist
  // Resets the attributes of a read-only file that refuses; false while it is still there.
  virtual bool RemoveFile(const std::string& path) = 0;
  virtual SystemError CreateFolderChain(const std::string& folder) = 0;
  virtual void ClearReadOnly(const std::string& path) = 0;
  // No entry but dot-named ones ("." and "..", and names like ".keep").
  virtual bool FolderHoldsOnlyDotEntries(const std::string& folder) = 0;
  virtual void RemoveFolder(const std::string& folder) = 0;
  // major:minor:build:revision of the version resource in one number that orders field by field;
  // 0 for none (or 0.0.0.0).
  virtual uint64_t FileVersion(const std::string& path) = 0;

  // Restart-time work on files in use. ReplaceAtRestart gives kOk, kReplaceMoveAsideFailed or
  // kReplaceCopyFailed with the copy's error in |error|.
  virtual EngineResult ReplaceAtRestart(const std::string& source, const std::string& target,
                                        SystemError* error) = 0;
  virtual void DeleteAtRestart(const std::string& path) = 0;

  // The registry below HKEY_LOCAL_MACHINE. Names compare without case, as the system's do.
  virtual bool KeyExists(const std::string& key) = 0;           // opens with full access
  virtual bool CreateKey(const std::string& key) = 0;           // opens or creates
  virtual CountRead ReadCount(const std::string& key, const std::string& name, uint32_t* count) = 0;
  virtual bool WriteCount(const std::string& key, const std::string& name, uint32_t count) = 0;
  virtual bool WriteString(const std::string& key, const std::string& name, const std::string& value) = 0;
  virtual void DeleteValue(const std::string& key, const std::string& name) = 0;
  virtual bool KeyHasValues(const std::string& key) = 0;
  virtual bool KeyHasSubKeys(const std::string& key) = 0;
  virtual void DeleteKey(const std::string& parent, const std::string& name) = 0;  // one without subkeys

  // Processes: starts |application| with |command_line| and, with |wait|, waits for it to end.
  virtual SystemError StartProcess(const std::string& application, const std::string& command_line, bool wait) = 0;
  virtual void Pause(uint32_t milliseconds) = 0;

  // Libraries: exactly the file named, never one found elsewhere.
  virtual ModuleHandle LoadModule(const std::string& path) = 0;
  virtual ExportAddress FindExport(ModuleHandle module, const std::string& name) = 0;
  // Calls int __stdcall f(const char*), restoring the stack whatever the export's convention.
  virtual int CallExport(ExportAddress entry, const std::string& text) = 0;
  virtual void ReleaseModule(ModuleHandle module) = 0;
};

}  // namespace qm

#endif  // QM_ENGINE_CORE_SYSTEM_H_

// The system as the engine meets it on Windows: Win32 calls, HKEY_LOCAL_MACHINE, and the
// restart-time work of the platform the engine runs on.
#ifndef QM_ENGINE_API_WIN32_SYSTEM_H_
#define QM_ENGINE_API_WIN32_SYSTEM_H_

#include "engine/core/engine_state.h"
#include "engine/core/system.h"

namespace qm {

class Win32System final : public System {
 public:
  // |state| gives the folders restart-time work writes its lists to.
  explicit Win32System(const EngineState& state) : state_(state) {}

  bool PathExists(const std::string& path) override;
  SystemError CopyTo(const std::string& from, const std::string& to) override;
  SystemError MoveTo(const std::string& from, const std::string& to) override;
  bool RemoveFile(const std::string& path) override;
  SystemError CreateFolderChain(const std::string& folder) override;
  void ClearReadOnly(const std::string& path) override;
  bool FolderHoldsOnlyDotEntries(const std::string& folder) override;
  void RemoveFolder(const std::string& folder) override;
  uint64_t FileVersion(const std::string& path) override;

  EngineResult ReplaceAtRestart(const std::string& source, const std::string& target, SystemError* error) override;
  void DeleteAtRestart(const std::string& path) override;

  bool KeyExists(const std::string& key) override;
  bool CreateKey(const std::string& key) override;
  CountRead ReadCount(const std::string& key, const std::string& name, uint32_t* count) override;
  bool WriteCount(const std::string& key, const std::string& name, uint32_t count) override;
  bool WriteString(const std::string& key, const std::string& name, const std::string& value) override;
  void DeleteValue(const std::string& key, const std::string& name) override;
  bool KeyHasValues(const std::string& key) override;
  bool KeyHasSubKeys(const std::string& key) override;
  void DeleteKey(const std::string& parent, const std::string& name) override;

  SystemError StartProcess(const std::string& application, const std::string& command_line, bool wait) override;
  void Pause(uint32_t milliseconds) override;

  ModuleHandle LoadModule(const std::string& path) override;
  ExportAddress FindExport(ModuleHandle module, const std::string& name) override;
  int CallExport(ExportAddress entry, const std::string& text) override;
  void ReleaseModule(ModuleHandle module) override;

 private:
  const EngineState& state_;
};

}  // namespace qm

#endif  // QM_ENGINE_API_WIN32_SYSTEM_H_

// An in-memory system for native tests of the command rules: files with a version and flags,
// folders, registry keys below HKEY_LOCAL_MACHINE, and records of what would be started, loaded
// or deferred to the restart. Names compare without case, as on Windows.
#ifndef QM_TESTS_NATIVE_FAKE_SYSTEM_H_
#define QM_TESTS_NATIVE_FAKE_SYSTEM_H_

#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/core/command_context.h"
#include "engine/core/system.h"

namespace qmtest {

// Win32 error codes the fake reports.
constexpr qm::SystemError kErrorFileNotFound = 2;
constexpr qm::SystemError kErrorPathNotFound = 3;
constexpr qm::SystemError kErrorAccessDenied = 5;
constexpr qm::SystemError kErrorSharingViolation = 32;
constexpr qm::SystemError kErrorDiskFull = 112;
constexpr qm::SystemError kErrorAlreadyExists = 183;

struct FakeFile {
  std::string content;
  uint64_t version = 0;
  bool read_only = false;
  bool in_use = false;  // cannot be deleted or written
};

class FakeSystem final : public qm::System {
 public:
  // Files and folders.
  void AddFile(const std::string& path, const std::string& content, uint64_t version = 0);
  FakeFile* File(const std::string& path);
  bool HasFolder(const std::string& path) const;
  std::vector<std::string> Files() const;  // every file, sorted, as first named
  std::set<std::string> full_folders;  // folders where every copy fails with kErrorDiskFull
  qm::EngineResult replace_result = qm::EngineResult::kOk;  // what a replacement at the restart gives

  // The registry: "key\name" = count, for the tests' set-up and checks.
  void SetCount(const std::string& key, const std::string& name, uint32_t count);
  std::vector<std::string> Registry() const;  // "key" and "key\name=value" lines, sorted

  std::vector<std::string> restart_work;  // "replace <target> with <source>", "delete <path>"
  std::vector<std::string> started;       // "<application>|<command line>|wait" or "|nowait"

  bool PathExists(const std::string& path) override;
  qm::SystemError CopyTo(const std::string& from, const std::string& to) override;
  qm::SystemError MoveTo(const std::string& from, const std::string& to) override;
  bool RemoveFile(const std::string& path) override;
  qm::SystemError CreateFolderChain(const std::string& folder) override;
  void ClearReadOnly(const std::string& path) override;
  bool FolderHoldsOnlyDotEntries(const std::string& folder) override;
  void RemoveFolder(const std::string& folder) override;
  uint64_t FileVersion(const std::string& path) override;
  qm::EngineResult ReplaceAtRestart(const std::string& source, const std::string& target,
                                    qm::SystemError* error) override;
  void DeleteAtRestart(const std::string& path) override;
  bool KeyExists(const std::string& key) override;
  bool CreateKey(const std::string& key) override;
  qm::CountRead ReadCount(const std::string& key, const std::string& name, uint32_t* count) override;
  bool WriteCount(const std::string& key, const std::string& name, uint32_t count) override;
  bool WriteString(const std::string& key, const std::string& name, const std::string& value) override;
  void DeleteValue(const std::string& key, const std::string& name) override;
  bool KeyHasValues(const std::string& key) override;
  bool KeyHasSubKeys(const std::string& key) override;
  void DeleteKey(const std::string& parent, const std::string& name) override;
  qm::SystemError StartProcess(const std::string& application, const std::string& command_line, bool wait) override;
  void Pause(uint32_t) override {}
  qm::ModuleHandle LoadModule(const std::string&) override { return nullptr; }
  qm::ExportAddress FindExport(qm::ModuleHandle, const std::string&) override { return nullptr; }
  int CallExport(qm::ExportAddress, const std::string&) override { return 0; }
  void ReleaseModule(qm::ModuleHandle) override {}

 private:
  struct Entry {
    std::string name;  // as first given
    FakeFile file;
  };
  std::map<std::string, Entry> files_;       // by folded path
  std::map<std::string, std::string> folders_;  // folded path -> as given
  // folded key -> (folded value name -> text); counts are stored as decimal text with a "#".
  std::map<std::string, std::map<std::string, std::string>> keys_;
  std::map<std::string, std::string> key_names_;
};

// A context over |system| with its own variables and effects, logging to the test sink.
class FakeContext {
 public:
  explicit FakeContext(FakeSystem& system);
  const qm::CommandContext& get() const { return context_; }
  qm::VariableTable variables;
  qm::CommandEffects effects;
  std::string unpack_folder = "C:\\stage\\KX2";
  std::string program_files_folder = "C:\\Program Files";

 private:
  qm::CommandContext context_;
};

}  // namespace qmtest

#endif  // QM_TESTS_NATIVE_FAKE_SYSTEM_H_

// A fresh engine per test: QMSetup.dll copied into a scratch folder, loaded there (its package is
// unpacked beside it) and unloaded after the test, with the log, marker and registry cleaned.
#ifndef QM_TESTS_WIN_ENGINE_FIXTURE_H_
#define QM_TESTS_WIN_ENGINE_FIXTURE_H_

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "qmsetup/exports.h"

namespace qmtest {

using PackageFiles = std::vector<std::pair<std::string, std::string>>;  // package path, content

// Writes a package with qmpack's writer. Empty string or a message.
std::string WritePackage(const std::string& path, const PackageFiles& files);

// The engine log's lines (CR LF split); empty when there is no log.
std::vector<std::string> EngineLogLines();

// Removes the log, the restart marker and HKLM\Software\QMSrv.
void CleanEngineTraces();

struct EngineEntries {
  HMODULE module = nullptr;
  qmsetup::EngineTextFn prepare = nullptr;
  qmsetup::EngineTextFn set_inst_dir = nullptr;
  qmsetup::EngineTextFn do_step = nullptr;
  qmsetup::EngineNoArgFn finish = nullptr;
  qmsetup::EngineTextFn is_install = nullptr;
  qmsetup::EngineTextFn set_lang_id = nullptr;
};

// Runs |calls| ("Prepare:KX2.dat|IsInstall:INSTALL|Finish") on the engine at |engine_dll| in a
// child copy of this test executable that Wine tells it runs on |windows_version| (win98, win2k,
// winxp, vista, win7). Returns the child's "Prepare=0|IsInstall=0|Finish=12", or its whole
// output when it failed. Each executable using it defines QM_ENGINE_CHILD_TEST() once.
std::string RunEngineAs(const std::string& windows_version, const std::string& engine_dll, const std::string& calls);
void EngineChildRun();
#define QM_ENGINE_CHILD_TEST() \
  TEST(EngineChild, Run) { qmtest::EngineChildRun(); }

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Loads the engine copy (once); fails the test when it cannot be bound.
  void Load();
  void Unload();
  std::string Package(const PackageFiles& files, const std::string& name = "KX2.dat");
  // The loaded engine keeps the log open, so tests read what was logged after a mark.
  void MarkLog();
  std::vector<std::string> NewLogLines() const;

  std::string folder_;  // the engine's folder
  std::string unpack_;  // folder_ + "\KX2"
  EngineEntries engine_;
  size_t log_mark_ = 0;
};

}  // namespace qmtest

#endif  // QM_TESTS_WIN_ENGINE_FIXTURE_H_

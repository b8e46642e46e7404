#include "tests/win/engine_fixture.h"

#include <shlwapi.h>

#include <algorithm>

#include "tests/win/test_support.h"
#include "tools/qmpack/package_writer.h"

namespace qmtest {

std::string WritePackage(const std::string& path, const PackageFiles& files) {
  std::string sources = path + ".src";
  DeleteTree(sources);
  ::CreateDirectoryA(sources.c_str(), nullptr);
  std::vector<qm::PackSource> list;
  for (size_t i = 0; i < files.size(); ++i) {
    std::string source = sources + "\\" + std::to_string(i);
    if (!WriteFileBytes(source, files[i].second)) return "cannot write " + source;
    list.push_back({files[i].first, source});
  }
  std::string error = qm::PackageWrite(path, list);
  DeleteTree(sources);
  return error;
}

std::vector<std::string> EngineLogLines() {
  return Split(ReadFileBytes(EngineLogPath()), "\r\n");
}

void CleanEngineTraces() {
  ::DeleteFileA(EngineLogPath().c_str());
  ::DeleteFileA(MarkerPath().c_str());
  ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\QMSrv");
}

void EngineTest::SetUp() {
  folder_ = MakeScratchFolder(::testing::UnitTest::GetInstance()->current_test_info()->name());
  unpack_ = folder_ + "\\KX2";
  ASSERT_TRUE(::CopyFileA((BinFolder() + "\\QMSetup.dll").c_str(), (folder_ + "\\QMSetup.dll").c_str(), FALSE));
  CleanEngineTraces();
}

void EngineTest::TearDown() {
  Unload();
  CleanEngineTraces();
  DeleteTree(folder_);
}

void EngineTest::Load() {
  if (engine_.module) return;
  engine_.module = ::LoadLibraryA((folder_ + "\\QMSetup.dll").c_str());
  ASSERT_NE(engine_.module, nullptr);
  auto bind = [&](auto* slot, const char* name) {
    *slot = reinterpret_cast<std::remove_pointer_t<decltype(slot)>>(::GetProcAddress(engine_.module, name));
    ASSERT_NE(*slot, nullptr) << name;
  };
  bind(&engine_.prepare, "Prepare");
  bind(&engine_.set_inst_dir, "SetInstDir");
  bind(&engine_.do_step, "DoStep");
  bind(&engine_.finish, "Finish");
  bind(&engine_.is_install, "IsInstall");
  bind(&engine_.set_lang_id, "SetLangID");
}

void EngineTest::Unload() {
  if (engine_.module) ::FreeLibrary(engine_.module);
  engine_ = EngineEntries();
}

std::string EngineTest::Package(const PackageFiles& files, const std::string& name) {
  std::string path = folder_ + "\\" + name;
  std::string error = WritePackage(path, files);
  EXPECT_EQ(error, "");
  return path;
}

void EngineTest::MarkLog() { log_mark_ = EngineLogLines().size(); }

std::vector<std::string> EngineTest::NewLogLines() const {
  std::vector<std::string> lines = EngineLogLines();
  lines.erase(lines.begin(), lines.begin() + std::min(log_mark_, lines.size()));
  return lines;
}

}  // namespace qmtest

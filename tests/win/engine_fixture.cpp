#include "tests/win/engine_fixture.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstdio>

#include "qmsetup/exports.h"
#include "tests/win/test_support.h"
#include "engine/package/package_writer.h"

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

std::string RunEngineAs(const std::string& windows_version, const std::string& engine_dll, const std::string& calls) {
  char self[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  ::SetEnvironmentVariableA("QM_CHILD_ENGINE", engine_dll.c_str());
  ::SetEnvironmentVariableA("QM_CHILD_CALLS", calls.c_str());
  ProcessResult r = RunAsWindowsVersion(self, windows_version, "--gtest_filter=EngineChild.Run");
  ::SetEnvironmentVariableA("QM_CHILD_ENGINE", nullptr);
  ::SetEnvironmentVariableA("QM_CHILD_CALLS", nullptr);
  const std::string tag = "CHILD RESULTS ";
  size_t at = r.output.find(tag);
  if (r.exit_code != 0 || at == std::string::npos) return "child failed (" + std::to_string(r.exit_code) + "):\n" + r.output;
  size_t end = r.output.find('\n', at);
  return r.output.substr(at + tag.size(), end == std::string::npos ? std::string::npos : end - at - tag.size());
}

void EngineChildRun() {
  char dll[MAX_PATH] = {};
  char calls[4096] = {};
  if (!::GetEnvironmentVariableA("QM_CHILD_ENGINE", dll, sizeof(dll)) ||
      !::GetEnvironmentVariableA("QM_CHILD_CALLS", calls, sizeof(calls)))
    GTEST_SKIP() << "child mode only";
  HMODULE engine = ::LoadLibraryA(dll);
  ASSERT_NE(engine, nullptr) << dll;
  std::string results;
  for (const std::string& call : Split(calls, "|")) {
    size_t colon = call.find(':');
    const std::string name = call.substr(0, colon);
    FARPROC entry = ::GetProcAddress(engine, name.c_str());
    ASSERT_NE(entry, nullptr) << name;
    int r = colon == std::string::npos ? reinterpret_cast<int(__stdcall*)()>(entry)()
                                       : reinterpret_cast<int(__stdcall*)(const char*)>(entry)(call.c_str() + colon + 1);
    results += (results.empty() ? "" : "|") + name + "=" + std::to_string(r);
  }
  std::printf("CHILD RESULTS %s\n", results.c_str());
  ::FreeLibrary(engine);
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
  bind(&engine_.prepare, qmsetup::kEnginePrepare);
  bind(&engine_.set_inst_dir, qmsetup::kEngineSetInstDir);
  bind(&engine_.do_step, qmsetup::kEngineDoStep);
  bind(&engine_.finish, qmsetup::kEngineFinish);
  bind(&engine_.is_install, qmsetup::kEngineIsInstall);
  bind(&engine_.set_lang_id, qmsetup::kEngineSetLangId);
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

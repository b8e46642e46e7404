// Engine state the exports do not show: variables, flags, the library list. The engine is linked
// in; its "module" is a stand-in DLL in a scratch folder, so the package is unpacked there.
#include "engine/core/engine_state.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <new>

#include "base/win/reg_key.h"
#include "engine/api/entry_points.h"
#include "engine/commands/dispatcher.h"
#include "engine/script/paths.h"
#include "tests/win/engine_access.h"
#include "tests/win/engine_fixture.h"
#include "tests/win/test_support.h"

namespace {

class EngineStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    qm::EngineGetState() = qm::EngineState();
    folder_ = qmtest::MakeScratchFolder("state");
    ASSERT_TRUE(::CopyFileA((qmtest::BinFolder() + "\\fake_engine.dll").c_str(), (folder_ + "\\QMSetup.dll").c_str(), FALSE));
    module_ = ::LoadLibraryExA((folder_ + "\\QMSetup.dll").c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(module_, nullptr);
    qm::EngineGetState().engine_module = module_;
    qmtest::CleanEngineTraces();
    for (const char* name : {"KX2.dat", "Other.dat"}) {
      ASSERT_EQ(qmtest::WritePackage(folder_ + "\\" + name,
                                     {{"qmsetup.ini",
                                       "[FILES]\r\n[COMMON]\r\nVAR {A} \"{TMP}\\a\"\r\nDEF INSTALLERRSTOP \"FALSE\"\r\n"
                                       "[flags]\r\nDEF INSTALLERRSTOP \"false\"\r\nDEF UNINSTALLERRSTOP \"TRUE\"\r\n"
                                       "DEF OTHER \"TRUE\"\r\n[again]\r\nDEF INSTALLERRSTOP \"TRUE\"\r\n"
                                       "[bad]\r\nDEF INSTALLERRSTOP\r\n[empty]\r\nNAME=x\r\n"}}),
                "");
    }
  }
  void TearDown() override {
    qm::EngineGetState() = qm::EngineState();
    ::FreeLibrary(module_);
    qmtest::CleanEngineTraces();
    qmtest::DeleteTree(folder_);
  }
  std::string Var(const char* name) {
    const auto& v = qm::EngineGetState().variables;
    auto it = v.find(name);
    return it == v.end() ? "<undefined>" : it->second;
  }
  std::string folder_;
  HMODULE module_ = nullptr;
};

TEST_F(EngineStateTest, BuiltInsKeepTheirFirstValuesAcrossPrepare) {
  qm::EngineState& s = qm::EngineGetState();
  ASSERT_EQ(qm::EnginePrepare("KX2.dat"), 0);
  std::string program_files;
  {
    qm::RegKey key;
    ASSERT_EQ(key.Open(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", KEY_QUERY_VALUE), ERROR_SUCCESS);
    ASSERT_EQ(key.ReadString("ProgramFilesDir", &program_files), ERROR_SUCCESS);
  }
  EXPECT_EQ(Var("{PF}"), program_files);
  EXPECT_EQ(Var("{TMP}"), folder_ + "\\KX2");
  EXPECT_EQ(Var("{SYSDIR}"), qmtest::SystemFolder());
  EXPECT_EQ(Var("{A}"), folder_ + "\\KX2\\a");
  EXPECT_EQ(s.engine_folder, folder_);
  EXPECT_EQ(s.windows_temp_folder, qmtest::WindowsFolder() + "\\Temp");
  EXPECT_EQ(s.language_id, ::GetUserDefaultLangID());

  ASSERT_EQ(qm::EngineSetInstDir("C:\\first"), 0);
  s.effects.restart_needed = 1;
  ASSERT_EQ(qm::EnginePrepare("Other.dat"), 0);
  EXPECT_EQ(s.unpack_folder, folder_ + "\\Other") << "folders are rebuilt";
  EXPECT_EQ(s.install_folder, "") << "Prepare empties the installation folder";
  EXPECT_EQ(s.effects.restart_needed, 0);
  EXPECT_EQ(Var("{TMP}"), folder_ + "\\KX2") << "but the variables keep their first values";
  EXPECT_EQ(Var("{INSTDIR}"), "C:\\first\\");

  ASSERT_EQ(qm::EngineSetInstDir("C:\\second\\"), 0);
  EXPECT_EQ(s.install_folder, "C:\\second\\");
  EXPECT_EQ(Var("{INSTDIR}"), "C:\\first\\");
}

TEST_F(EngineStateTest, DefSetsOnlyTheErrorStopFlags) {
  qm::EngineState& s = qm::EngineGetState();
  ASSERT_EQ(qm::EnginePrepare("KX2.dat"), 0);
  EXPECT_EQ(s.effects.install_error_stop, 0) << "COMMON said FALSE";
  EXPECT_EQ(s.effects.uninstall_error_stop, 0);
  EXPECT_EQ(qmtest::RunChapter("flags"), 0);
  EXPECT_EQ(s.effects.install_error_stop, 0) << "lower-case values change nothing";
  EXPECT_EQ(s.effects.uninstall_error_stop, 1);
  EXPECT_EQ(qmtest::RunChapter("again"), 0);
  EXPECT_EQ(s.effects.install_error_stop, 1);
  EXPECT_EQ(qmtest::RunChapter("bad"), 2) << "a DEF without a value fails in words";
  ASSERT_EQ(qm::EnginePrepare("KX2.dat"), 0);
  EXPECT_EQ(s.effects.uninstall_error_stop, 0) << "Prepare resets both";
}

TEST_F(EngineStateTest, LanguageFromLeadingDigits) {
  const std::pair<const char*, int> rows[] = {{"4444", 4444}, {"1028", 1028}, {"12abc", 12}, {"abc", 0}, {" 7", 0}};
  for (const auto& row : rows) {
    ASSERT_EQ(qm::EngineSetLangID(row.first), 0);
    EXPECT_EQ(qm::EngineGetState().language_id, row.second) << row.first;
  }
}

TEST_F(EngineStateTest, LibrariesAreReleasedWhenAChapterEnds) {
  ASSERT_EQ(qm::EnginePrepare("KX2.dat"), 0);
  const std::string dll = qmtest::BinFolder() + "\\fake_engine_nofinish.dll";
  for (const char* chapter : {"empty", "bad"}) {  // after success and after failure
    qm::EngineGetState().effects.loaded_libraries.push_back(::LoadLibraryA(dll.c_str()));
    ASSERT_NE(::GetModuleHandleA(dll.c_str()), nullptr);
    qmtest::RunChapter(chapter);
    EXPECT_TRUE(qm::EngineGetState().effects.loaded_libraries.empty()) << chapter;
    EXPECT_EQ(::GetModuleHandleA(dll.c_str()), nullptr) << chapter;
  }
  qm::EngineGetState().effects.loaded_libraries.push_back(::LoadLibraryA(dll.c_str()));
  EXPECT_EQ(qmtest::RunChapter("no such chapter"), 3);
  EXPECT_EQ(qm::EngineGetState().effects.loaded_libraries.size(), 1u) << "early returns leave the list alone";
  ::FreeLibrary(static_cast<HMODULE>(qm::EngineGetState().effects.loaded_libraries[0]));
  qm::EngineGetState().effects.loaded_libraries.clear();
}

TEST_F(EngineStateTest, LibrariesAreReleasedWhenAnExecutorThrows) {
  ASSERT_EQ(qm::EnginePrepare("KX2.dat"), 0);
  const std::string dll = qmtest::BinFolder() + "\\fake_engine_nofinish.dll";
  qm::Executor throwing[static_cast<size_t>(qm::CommandId::kRegProduct) + 1];
  for (qm::Executor& executor : throwing)
    executor = [](const qm::CommandContext&, const qm::CommandRecord&) -> qm::EngineResult { throw std::bad_alloc(); };
  qm::EngineGetState().effects.loaded_libraries.push_back(::LoadLibraryA(dll.c_str()));
  EXPECT_THROW(qm::RunChapterWith(qm::EngineGetState().script, qmtest::EngineContext(), "flags", throwing),
               std::bad_alloc);
  EXPECT_TRUE(qm::EngineGetState().effects.loaded_libraries.empty());
  EXPECT_EQ(::GetModuleHandleA(dll.c_str()), nullptr);
}

TEST(Dispatcher, NoScriptOrEmptyNameIs2) {
  qm::EngineGetState() = qm::EngineState();
  EXPECT_EQ(qmtest::RunChapter("FILES"), 2);
  qm::EngineGetState().script.chapters["A"].lines = {"[A]"};
  EXPECT_EQ(qmtest::RunChapter(""), 2);
  EXPECT_EQ(qmtest::RunChapter("A"), 0);
  qm::EngineGetState() = qm::EngineState();
}

TEST(Dispatcher, IsAbsolutePath) {
  const std::pair<const char*, bool> rows[] = {
      {"C:\\x.dll", true},    {"c:\\", true},        {"C:x.dll", false},    {"C:/x.dll", false},
      {"\\\\server\\share", false}, {"{PF}\\x", false}, {"sub\\x", false}, {"", false},
      {"CC:\\x", false},      {":\\x", false},       {"C:\\a:b", true},    {"C\\:x", false}};
  for (const auto& row : rows) EXPECT_EQ(qm::IsAbsolutePath(row.first), row.second) << row.first;
}

}  // namespace

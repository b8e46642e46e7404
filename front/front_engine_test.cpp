// The front staging and driving the real engine with a package built by qmpack.
#include <windows.h>

#include <gtest/gtest.h>

#include <initializer_list>

#include "tests/win/engine_fixture.h"
#include "tests/win/test_support.h"

namespace {

using qm::FrontResult;
using Lines = std::vector<std::string>;

Lines DoStepLines(const std::string& chapter, const Lines& body, const char* end = "<====Ending to DoStep:") {
  Lines lines = {"====>Begin to DoStep:", "DoStep OneChapter is " + chapter};
  lines.insert(lines.end(), body.begin(), body.end());
  lines.push_back(end);
  return lines;
}

Lines Concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

TEST(FrontWithRealEngine, InstallAndUninstallRunEveryChapterAndKeepTheRecord) {
  qmtest::CleanEngineTraces();
  const std::string staging = qmtest::StagingFolder();
  const std::string engine = staging + "\\QMSetup.dll";
  while (HMODULE h = ::GetModuleHandleA(engine.c_str())) ::FreeLibrary(h);
  qmtest::DeleteTree(staging);

  HMODULE front = ::LoadLibraryA("Inst_kx2_test.dll");
  ASSERT_NE(front, nullptr);
  qmtest::FrontExports kx;
  ASSERT_TRUE(kx.Bind(front));
  EXPECT_EQ(kx.Install(2), FrontResult::kOk);
  EXPECT_EQ(::GetModuleHandleA(engine.c_str()), nullptr) << "a completed run unloads the engine";
  const std::string product = "0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9_KX2";
  EXPECT_EQ(qmtest::RegistryTree("Software\\QMSrv\\Product\\" + product), (Lines{"|PRODUCT_VER=SZ:\"1.0.0.0\""}));

  const std::string u = staging + "\\KX2";
  const std::string check = "Check " + u + "\\bin\\tool.txt OK.";
  const Lines prepare = {"====>Begin to Prepare:",
                         "Decompressing files...",
                         "Decompressing files form " + staging + "\\KX2.dat to " + u,
                         "Decompressing files OK",
                         "Check INI file...",
                         "INI file is" + u + "\\qmsetup.ini",
                         check,
                         "Check INI file OK.",
                         "Check system states...",
                         "System states OK.",
                         "<====Ending to Prepare:"};
  const Lines install_lines = Concat(
      {prepare,
       {"====>Begin to INSTALL:", "====>Begin to SetLangID:", "SetLangID is: 1033", "<====Ending to SetLangID."},
       DoStepLines("FILES", {check}), DoStepLines("copy", {check}),
       {"====>Begin to Finish:", "====>This is INSTALL:", "Product is Software\\QMSrv\\Product\\" + product,
        "Product ver is 1.0.0.0", "Company is 3A9E5D10-QMSR-4F8B-A6D1-52E0C9B4F713_QM", "Finish.",
        "<====Ending to Finish:"},
       DoStepLines("SetupHidReg", {}), DoStepLines("start_Daemon", {}), DoStepLines("RegCSP", {}),
       DoStepLines("start_certd", {})});
  EXPECT_EQ(qmtest::EngineLogLines(), install_lines);
  EXPECT_EQ(qmtest::ReadFileBytes(u + "\\bin\\tool.txt"), "payload\n");

  EXPECT_EQ(kx.Uninstall(), FrontResult::kOk) << "a chapter failing with kFileMissing does not stop the removal";
  const Lines uninstall_lines = Concat(
      {install_lines, prepare, {"====>Begin to UNINSTALL:", "Product is " + product, "<====Ending to UNINSTALL:"},
       DoStepLines("remove_certd", {}), DoStepLines("remove_Daemon", {}), DoStepLines("UnRegCSP", {}),
       DoStepLines("delete", {"Check " + u + "\\bin\\missing.txt Not exist."}, "Return Err:0x00000004"),
       DoStepLines("UnSetupHidReg", {}), {"====>Begin to Finish:", "====>This is UNINSTALL:"}});
  Lines lines = qmtest::EngineLogLines();
  ASSERT_GE(lines.size(), uninstall_lines.size());
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + uninstall_lines.size()), uninstall_lines);
  EXPECT_EQ(lines.back(), "<====Ending to Finish:");
  EXPECT_FALSE(qmtest::RegistryKeyExists("Software\\QMSrv")) << "the last product takes the tree with it";
  EXPECT_EQ(kx.Uninstall(), FrontResult::kOk) << "nothing left to remove";

  while (HMODULE h = ::GetModuleHandleA(engine.c_str())) ::FreeLibrary(h);
  ::FreeLibrary(front);
  qmtest::CleanEngineTraces();
}

TEST(FrontWithRealEngine, PlantedPackageIsRefusedBeforeTheEngineLogsAnything) {
  qmtest::CleanEngineTraces();
  const std::string staging = qmtest::StagingFolder();
  while (HMODULE h = ::GetModuleHandleA((staging + "\\QMSetup.dll").c_str())) ::FreeLibrary(h);
  ::CreateDirectoryA(staging.c_str(), nullptr);
  ASSERT_TRUE(qmtest::WriteFileBytes(staging + "\\KX2.dat", "a package somebody else put here"));
  {
    qmtest::FileHolder holder(staging + "\\KX2.dat", "read");
    ASSERT_TRUE(holder.holding());
    HMODULE front = ::LoadLibraryA("Inst_kx2_test.dll");
    ASSERT_NE(front, nullptr);
    qmtest::FrontExports kx;
    ASSERT_TRUE(kx.Bind(front));
    EXPECT_EQ(kx.Install(2), FrontResult::kStagingFailed);
    EXPECT_EQ(::GetModuleHandleA((staging + "\\QMSetup.dll").c_str()), nullptr);
    ::FreeLibrary(front);
  }
  EXPECT_TRUE(qmtest::EngineLogLines().empty());
  qmtest::CleanEngineTraces();
}

}  // namespace

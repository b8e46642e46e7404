// The front staging and driving the real engine with a package built by qmpack.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/win/engine_fixture.h"
#include "tests/win/test_support.h"

namespace {

using Lines = std::vector<std::string>;

TEST(FrontWithRealEngine, InstallReachesPrepareAndDoStep) {
  qmtest::CleanEngineTraces();
  const std::string staging = qmtest::StagingFolder();
  const std::string engine = staging + "\\QMSetup.dll";
  while (HMODULE h = ::GetModuleHandleA(engine.c_str())) ::FreeLibrary(h);
  qmtest::DeleteTree(staging);

  HMODULE front = ::LoadLibraryA("Inst_kx2_test.dll");
  ASSERT_NE(front, nullptr);
  auto install = reinterpret_cast<int(__cdecl*)(int, int)>(::GetProcAddress(front, "kx_Install"));
  // Registration of the product is not built yet, so the run ends at Finish with 2.
  EXPECT_EQ(install(0, 2), 2);

  const std::string u = staging + "\\KX2";
  const Lines expected = {"====>Begin to Prepare:",
                          "Decompressing files...",
                          "Decompressing files form " + staging + "\\KX2.dat to " + u,
                          "Decompressing files OK",
                          "Check INI file...",
                          "INI file is" + u + "\\qmsetup.ini",
                          "Check " + u + "\\bin\\tool.txt OK.",
                          "Check INI file OK.",
                          "Check system states...",
                          "System states OK.",
                          "<====Ending to Prepare:",
                          "====>Begin to INSTALL:",  // no product family yet: no end line
                          "====>Begin to SetLangID:",
                          "SetLangID is: 1033",
                          "<====Ending to SetLangID.",
                          "====>Begin to DoStep:",
                          "DoStep OneChapter is FILES",
                          "Check " + u + "\\bin\\tool.txt OK.",
                          "<====Ending to DoStep:",
                          "====>Begin to DoStep:",
                          "DoStep OneChapter is copy",
                          "Check " + u + "\\bin\\tool.txt OK.",
                          "<====Ending to DoStep:",
                          "====>Begin to Finish:",
                          "Finish is not supported by this engine."};
  EXPECT_EQ(qmtest::EngineLogLines(), expected);
  EXPECT_EQ(qmtest::ReadFileBytes(u + "\\bin\\tool.txt"), "payload\n");

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
    auto install = reinterpret_cast<int(__cdecl*)(int, int)>(::GetProcAddress(front, "kx_Install"));
    EXPECT_EQ(install(0, 2), 4);
    EXPECT_EQ(::GetModuleHandleA((staging + "\\QMSetup.dll").c_str()), nullptr);
    ::FreeLibrary(front);
  }
  EXPECT_TRUE(qmtest::EngineLogLines().empty());
  qmtest::CleanEngineTraces();
}

}  // namespace

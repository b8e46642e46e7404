#include "engine/log/setup_log.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "tests/win/test_support.h"

namespace {

class SetupLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A stand-in Windows folder, so the machine's real log is left alone.
    folder_ = qmtest::MakeScratchFolder("log");
    ::CreateDirectoryA((folder_ + "\\Temp").c_str(), nullptr);
    writer_.windows_folder = folder_;
  }
  void TearDown() override {
    writer_.stream.Reset();
    qmtest::DeleteTree(folder_);
  }
  std::string LogBytes() const { return qmtest::ReadFileBytes(folder_ + "\\Temp\\_!QMSetup_.log"); }

  std::string folder_;
  qm::LogWriter writer_;
};

TEST_F(SetupLogTest, NothingIsWrittenUntilLoggingIsSwitchedOn) {
  qm::LogWriteLine(writer_, "early");
  EXPECT_FALSE(qmtest::FileExists(folder_ + "\\Temp\\_!QMSetup_.log"));
}

TEST_F(SetupLogTest, AppendsFlushedCrLfLinesAfterEarlierRuns) {
  ASSERT_TRUE(qmtest::WriteFileBytes(folder_ + "\\Temp\\_!QMSetup_.log", "from an earlier run\r\n"));
  qm::LogEnable(writer_);
  qm::LogWriteLine(writer_, "====>Begin to Prepare:");
  // On disk before the stream is closed: every line is flushed.
  EXPECT_EQ(LogBytes(), "from an earlier run\r\n====>Begin to Prepare:\r\n");
  qm::LogWriteLine(writer_, "");
  qm::LogWriteLine(writer_, "<====Ending to Prepare:");
  EXPECT_EQ(LogBytes(), "from an earlier run\r\n====>Begin to Prepare:\r\n\r\n<====Ending to Prepare:\r\n");
}

TEST_F(SetupLogTest, LineBreakInAMessageIsWrittenUnchanged) {
  qm::LogEnable(writer_);
  qm::LogWriteLine(writer_, "first\nsecond");
  EXPECT_EQ(LogBytes(), "first\r\nsecond\r\n");
}

TEST_F(SetupLogTest, MissingTempFolderCostsOnlyTheLinesAndTheOpenIsRetried) {
  ::RemoveDirectoryA((folder_ + "\\Temp").c_str());
  qm::LogEnable(writer_);
  qm::LogWriteLine(writer_, "lost");
  qm::LogWriteLine(writer_, "lost too");
  EXPECT_FALSE(qmtest::FileExists(folder_ + "\\Temp")) << "the writer never creates the folder";

  ::CreateDirectoryA((folder_ + "\\Temp").c_str(), nullptr);
  qm::LogWriteLine(writer_, "kept");
  EXPECT_EQ(LogBytes(), "kept\r\n");
}

TEST(SetupLogFormat, HexAndLastErrorSuffix) {
  EXPECT_EQ(qm::LogHex8(4), "0x00000004");
  EXPECT_EQ(qm::LogHex8(0xDEADBEEF), "0xdeadbeef");
  EXPECT_EQ(qm::LogLastErrorSuffix(5), " LastErr:0x00000005");
}

TEST(SetupLogWriter, ProcessWideWriterUsesTheWindowsTempFolder) {
  EXPECT_EQ(qm::LogFilePath(qm::LogGetWriter()), qmtest::EngineLogPath());
  EXPECT_EQ(&qm::LogGetWriter(), &qm::LogGetWriter());
}

}  // namespace

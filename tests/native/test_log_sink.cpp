#include "tests/native/test_log_sink.h"

#include <gtest/gtest.h>

#include "engine/log/setup_log.h"

namespace qmtest {
namespace {

std::vector<std::string>& Lines() {
  static std::vector<std::string> lines;
  return lines;
}

void Capture(const std::string& line) { Lines().push_back(line); }

class LogSinkEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { qm::LogSetSink(&Capture); }
  void TearDown() override { qm::LogSetSink(nullptr); }
};

const auto* const g_environment = ::testing::AddGlobalTestEnvironment(new LogSinkEnvironment);

}  // namespace

std::vector<std::string> TakeLogLines() {
  std::vector<std::string> out;
  out.swap(Lines());
  return out;
}

}  // namespace qmtest

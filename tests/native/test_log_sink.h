// Native tests capture setup-log lines instead of writing a file.
#ifndef QM_TESTS_NATIVE_TEST_LOG_SINK_H_
#define QM_TESTS_NATIVE_TEST_LOG_SINK_H_

#include <string>
#include <vector>

namespace qmtest {

// Lines logged since the last call, which clears them.
std::vector<std::string> TakeLogLines();

}  // namespace qmtest

#endif  // QM_TESTS_NATIVE_TEST_LOG_SINK_H_

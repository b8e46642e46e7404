// Helpers for the runtime components' Wine tests: an installed-looking product folder, services
// and processes seen from outside, the registry keys the components write.
#ifndef QM_COMPONENTS_RUNTIME_TESTS_RT_TEST_SUPPORT_H_
#define QM_COMPONENTS_RUNTIME_TESTS_RT_TEST_SUPPORT_H_

#include <windows.h>

#include <string>

#include "tests/win/test_support.h"

namespace rttest {

constexpr char kHidRoot[] = "Software\\QMHid";
constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

// The package's data files as the build copied them (package/files).
std::string PackageFiles();

// "<Temp>\qmtest_<name>\Program Files\qmsrv" made afresh, laid out as the installer leaves it:
// the daemons, slotmon\ and tsp\ libraries, lang\ and conf\ files.
std::string MakeProductFolder(const std::string& name);
// Removes what MakeProductFolder made.
void RemoveProductFolder(const std::string& name);

std::string Quote(const std::string& path);

using qmtest::ServiceState;
DWORD ServiceProcessId(const char* name);
// Stops (bounded) and deletes the service straight through the service manager, for cleanup.
void RemoveService(const char* name);

// User and kernel time of a process, in 100 ns units, from the system's process list; and
// whether a process of that id still runs.
ULONGLONG ProcessCpuTime(DWORD pid);
bool ProcessRunning(DWORD pid);

// Polls |path| until it holds |text|; false after |timeout_ms|.
bool WaitForFileText(const std::string& path, const std::string& text, DWORD timeout_ms);

void DeleteHidRecords();
void DeleteRunOnceValue(const char* name);
std::string ReadRunOnceValue(const char* name);

// Starts |command_line| without waiting; the handle of the process.
qm::ScopedHandle StartProcess(const std::string& command_line);

}  // namespace rttest

#endif  // QM_COMPONENTS_RUNTIME_TESTS_RT_TEST_SUPPORT_H_

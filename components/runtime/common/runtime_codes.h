// Result and exit codes of the runtime components, by program. Portable: no windows.h.
#ifndef QM_COMPONENTS_RUNTIME_COMMON_RUNTIME_CODES_H_
#define QM_COMPONENTS_RUNTIME_COMMON_RUNTIME_CODES_H_

namespace qm {

// Exit codes of qmslotd.exe and qmcertd.exe. A switch that finds its work already done
// (-i on an installed service, -s on a running one, -t on a stopped or absent one, -u on an
// absent one) succeeds with kOk and says so in its message, so every step can be repeated.
namespace daemon_code {
constexpr int kOk = 0;
constexpr int kUsage = 1;          // unknown or conflicting switches
constexpr int kNoServices = 2;     // Windows 95/98/ME: there is no service manager
constexpr int kManagerFailed = 3;  // the service manager refused us (access, ...)
constexpr int kInstallFailed = 4;
constexpr int kNotInstalled = 5;  // -s on a service that does not exist
constexpr int kStartFailed = 6;   // refused, or the service ended while starting
constexpr int kStopFailed = 7;
constexpr int kDeleteFailed = 8;
constexpr int kTimedOut = 9;          // the service did not reach the state within the wait
constexpr int kNotUnderManager = 10;  // the service switch given from a console
constexpr int kInternal = 11;         // out of memory or a like failure
}  // namespace daemon_code

// Results of WirteRegForHidDeivice and DeleteRegForHidDeivice. They start above the engine's
// own codes so that the setup log never reads one as an engine condition.
namespace hidreg_code {
constexpr int kOk = 0;
constexpr int kNoText = 21;      // null argument
constexpr int kFieldCount = 22;  // not 5 (write) or 2 (delete) fields split by ";"
constexpr int kEmptyField = 23;
constexpr int kBadVidPid = 24;  // not 4 hex digits, "&", 4 hex digits
constexpr int kBadNumber = 25;  // not decimal digits, or above 32 bits
constexpr int kBadName = 26;    // a "\", a control character, or too long for a key name
constexpr int kRegistryFailed = 27;
constexpr int kInternal = 28;
}  // namespace hidreg_code

// Exit codes of _REMOVED.exe.
namespace removed_code {
constexpr int kOk = 0;          // nothing left to do (also: no list)
constexpr int kPending = 1;     // some lines remain; they are retried at the next logon
constexpr int kListFailed = 2;  // the list could not be read or rewritten
constexpr int kUsage = 3;
}  // namespace removed_code

// Results of the monitor and provider library functions.
namespace plugin_code {
constexpr int kOk = 0;
constexpr int kUnavailable = 1;     // the system lacks what the library needs (SetupAPI, PC/SC)
constexpr int kBufferTooSmall = 2;  // *needed holds the size that would do
constexpr int kBadArgument = 3;
constexpr int kFailed = 4;
}  // namespace plugin_code

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_COMMON_RUNTIME_CODES_H_

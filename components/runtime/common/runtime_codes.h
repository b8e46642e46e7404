// Result and exit codes of the runtime components, by program. Portable: no windows.h.
#ifndef QM_COMPONENTS_RUNTIME_COMMON_RUNTIME_CODES_H_
#define QM_COMPONENTS_RUNTIME_COMMON_RUNTIME_CODES_H_

namespace qm {

// Exit codes of qmslotd.exe and qmcertd.exe. A switch that finds its work already done
// (-i on an installed service, -s on a running one, -t on a stopped or absent one, -u on an
// absent one) succeeds with kOk and says so in its message, so every step can be repeated.
enum class DaemonResult : int {
  kOk = 0,
  kUsage = 1,             // unknown or conflicting switches
  kNoServices = 2,        // Windows 95/98/ME: there is no service manager
  kManagerFailed = 3,     // the service manager refused us (access, ...)
  kInstallFailed = 4,
  kNotInstalled = 5,      // -s on a service that does not exist
  kStartFailed = 6,       // refused, or the service ended while starting
  kStopFailed = 7,
  kDeleteFailed = 8,
  kTimedOut = 9,          // the service did not reach the state within the wait
  kNotUnderManager = 10,  // the service switch given from a console
  kInternal = 11,         // out of memory or a like failure
};

constexpr const char* ResultName(DaemonResult r) {
  switch (r) {
    case DaemonResult::kOk: return "kOk";
    case DaemonResult::kUsage: return "kUsage";
    case DaemonResult::kNoServices: return "kNoServices";
    case DaemonResult::kManagerFailed: return "kManagerFailed";
    case DaemonResult::kInstallFailed: return "kInstallFailed";
    case DaemonResult::kNotInstalled: return "kNotInstalled";
    case DaemonResult::kStartFailed: return "kStartFailed";
    case DaemonResult::kStopFailed: return "kStopFailed";
    case DaemonResult::kDeleteFailed: return "kDeleteFailed";
    case DaemonResult::kTimedOut: return "kTimedOut";
    case DaemonResult::kNotUnderManager: return "kNotUnderManager";
    case DaemonResult::kInternal: return "kInternal";
  }
  return "not a daemon exit code";
}

// Results of WirteRegForHidDeivice and DeleteRegForHidDeivice. They start above the engine's
// own codes so that the setup log never reads one as an engine condition.
enum class HidRegResult : int {
  kOk = 0,
  kNoText = 21,      // null argument
  kFieldCount = 22,  // not 5 (write) or 2 (delete) fields split by ";"
  kEmptyField = 23,
  kBadVidPid = 24,   // not 4 hex digits, "&", 4 hex digits
  kBadNumber = 25,   // not decimal digits, or above 32 bits
  kBadName = 26,     // a "\", a control character, or too long for a key name
  kRegistryFailed = 27,
  kInternal = 28,
};

constexpr const char* ResultName(HidRegResult r) {
  switch (r) {
    case HidRegResult::kOk: return "kOk";
    case HidRegResult::kNoText: return "kNoText";
    case HidRegResult::kFieldCount: return "kFieldCount";
    case HidRegResult::kEmptyField: return "kEmptyField";
    case HidRegResult::kBadVidPid: return "kBadVidPid";
    case HidRegResult::kBadNumber: return "kBadNumber";
    case HidRegResult::kBadName: return "kBadName";
    case HidRegResult::kRegistryFailed: return "kRegistryFailed";
    case HidRegResult::kInternal: return "kInternal";
  }
  return "not a HID registry result";
}

// Exit codes of _REMOVED.exe.
enum class RemovedResult : int {
  kOk = 0,          // nothing left to do (also: no list)
  kPending = 1,     // some lines remain; they are retried at the next logon
  kListFailed = 2,  // the list could not be read or rewritten
  kUsage = 3,
};

constexpr const char* ResultName(RemovedResult r) {
  switch (r) {
    case RemovedResult::kOk: return "kOk";
    case RemovedResult::kPending: return "kPending";
    case RemovedResult::kListFailed: return "kListFailed";
    case RemovedResult::kUsage: return "kUsage";
  }
  return "not a _REMOVED.exe exit code";
}

// Results of the monitor and provider library functions.
enum class PluginResult : int {
  kOk = 0,
  kUnavailable = 1,     // the system lacks what the library needs (SetupAPI, PC/SC)
  kBufferTooSmall = 2,  // *needed holds the size that would do
  kBadArgument = 3,
  kFailed = 4,
};

constexpr const char* ResultName(PluginResult r) {
  switch (r) {
    case PluginResult::kOk: return "kOk";
    case PluginResult::kUnavailable: return "kUnavailable";
    case PluginResult::kBufferTooSmall: return "kBufferTooSmall";
    case PluginResult::kBadArgument: return "kBadArgument";
    case PluginResult::kFailed: return "kFailed";
  }
  return "not a plugin result";
}

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_COMMON_RUNTIME_CODES_H_

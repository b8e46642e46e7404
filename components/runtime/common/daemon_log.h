// The daemons' own logs, <product folder>\log\<name>.log, and the settings they take from
// <product folder>\conf\qmlog.conf. Writing a log line never fails the caller.
#ifndef QM_COMPONENTS_RUNTIME_COMMON_DAEMON_LOG_H_
#define QM_COMPONENTS_RUNTIME_COMMON_DAEMON_LOG_H_

#include <string>

namespace qm {

namespace log_level {
constexpr int kOff = 0;
constexpr int kErrors = 1;
constexpr int kEvents = 2;  // start, stop, devices arriving and leaving
constexpr int kDetail = 3;  // also every scan
}  // namespace log_level

struct LogSettings {
  int level = log_level::kEvents;
  unsigned long max_bytes = 256 * 1024;  // a log that reaches it starts afresh
};

struct DaemonLog {
  std::string path;
  LogSettings settings;
};

// Section [log], keys Level (0-3) and MaxSizeKB (1-65536); what is missing or out of range keeps
// its default.
LogSettings ReadLogSettings(const std::string& config_path);
DaemonLog DaemonLogFor(const std::string& product_folder, const std::string& name);

// "yyyy-mm-dd hh:mm:ss [pid] text", CR LF; the file and its folder are made when missing.
void AppendLogLine(const std::string& path, const std::string& text, unsigned long max_bytes);
void LogWrite(const DaemonLog& log, int level, const std::string& text);
// Deletes the log file, and its folder when nothing else is in it. False when the file is left.
bool LogRemove(const DaemonLog& log);

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_COMMON_DAEMON_LOG_H_

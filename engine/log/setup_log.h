// The setup log: one machine-wide text file, "<Windows folder>\Temp\_!QMSetup_.log", appended to
// by every run. One line per message, flushed before the call returns; never an error to the caller.
#ifndef QM_ENGINE_LOG_SETUP_LOG_H_
#define QM_ENGINE_LOG_SETUP_LOG_H_

#include <string>

#include "base/scoped_file.h"

namespace qm {

struct LogWriter {
  std::string windows_folder;  // read once, when the writer is made
  bool enabled = false;        // switched on at engine attach, never off
  ScopedFile stream;           // opened by the first write; a failed open is retried next line
};

// The process-wide writer, made on the first request.
LogWriter& LogGetWriter();
// Closes the log and frees the writer; the module is being unloaded.
void LogDestroyWriter();

void LogEnable(LogWriter& writer);
std::string LogFilePath(const LogWriter& writer);
void LogWriteLine(LogWriter& writer, const std::string& message);

// Appends |message| and a line end to the process-wide log.
void WriteLogLine(const std::string& message);

// " LastErr:0x%08x" with the value given.
std::string LogLastErrorSuffix(unsigned long error);
// "0x%08x".
std::string LogHex8(unsigned long value);

// Windows folder as the system reports it (GetWindowsDirectoryA); empty where there is none.
std::string LogQueryWindowsFolder();

// Native test builds route lines here instead of to a file. Null restores the file.
using LogSink = void (*)(const std::string& line);
void LogSetSink(LogSink sink);

}  // namespace qm

#endif  // QM_ENGINE_LOG_SETUP_LOG_H_

#include "engine/log/setup_log.h"

#include <cstdio>

#include "qmsetup/names.h"

namespace qm {
namespace {

LogSink g_sink = nullptr;
LogWriter* g_writer = nullptr;

}  // namespace

LogWriter& LogGetWriter() {
  if (!g_writer) {
    g_writer = new LogWriter;  // lives as long as the module
    g_writer->windows_folder = LogQueryWindowsFolder();
  }
  return *g_writer;
}

void LogDestroyWriter() {
  delete g_writer;  // closes the stream
  g_writer = nullptr;
}

void LogEnable(LogWriter& writer) { writer.enabled = true; }

std::string LogFilePath(const LogWriter& writer) { return writer.windows_folder + qmsetup::kLogBelowWindows; }

void LogWriteLine(LogWriter& writer, const std::string& message) {
  if (g_sink && &writer == &LogGetWriter()) {
    g_sink(message);
    return;
  }
  if (!writer.enabled || writer.windows_folder.empty()) return;
  if (!writer.stream) {
    // Text mode: the line end is CR LF on disk. fopen never creates the Temp folder.
    writer.stream.Reset(std::fopen(LogFilePath(writer).c_str(), "a"));
    if (!writer.stream) return;
  }
  std::fwrite(message.data(), 1, message.size(), writer.stream.get());
  std::fputc('\n', writer.stream.get());
  std::fflush(writer.stream.get());
}

void WriteLogLine(const std::string& message) { LogWriteLine(LogGetWriter(), message); }

std::string LogHex8(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%08lx", value);
  return text;
}

std::string LogLastErrorSuffix(unsigned long error) { return " LastErr:" + LogHex8(error); }

void LogSetSink(LogSink sink) { g_sink = sink; }

}  // namespace qm

// RUN "program", "parameters", WAIT|NOWAIT starts a program, waiting for it to end or not.
// RUNIF does the same only while no other installed product counts the program (its reference
// count is at most 1). The program's exit code is not read.
#include <windows.h>
#include <shlwapi.h>

#include "base/win/scoped_handle.h"
#include "engine/api/engine_state.h"
#include "engine/commands/dispatcher.h"
#include "engine/commands/ref_count.h"
#include "engine/log/setup_log.h"
#include "engine/script/args.h"
#include "engine/script/variables.h"
#include "qmsetup/results.h"

namespace qm {
namespace {

constexpr DWORD kSettleAfterWaitMs = 500;  // lets a registered service settle before the next line

struct RunLine {
  std::string program;
  std::string parameters;
  std::string wait;
  std::string tested;  // the program's full path: the file the existence test found is the one started
};

// Steps shared by RUN and RUNIF up to the file test: 0, 2, 4 or 5.
int RunPrepare(const char* keyword, const std::string& args, RunLine* line) {
  if (!ArgsFirstQuoted(args, &line->program) || !ArgsSecondQuoted(args, &line->parameters) ||
      !ArgsFlagField(args, &line->wait)) {
    WriteLogLine(std::string(keyword) +
                 " data invalid, a program and parameters in double quotes and a wait flag are needed:" + args);
    return engine_code::kInvalidArgument;
  }
  const VariableTable& variables = EngineGetState().variables;
  int r = VariablesExpand(variables, &line->parameters);
  if (r != engine_code::kOk) return r;
  if (!IsAbsolutePath(line->program)) {
    r = VariablesExpand(variables, &line->program);
    if (r != engine_code::kOk) return r;
  }
  if (!PathFits(line->program, "Run program")) return engine_code::kInvalidArgument;
  line->tested = PathAsTested(line->program);
  if (!::PathFileExistsA(line->tested.c_str())) {
    WriteLogLine("Run " + line->program + " Not exist.");
    return engine_code::kFileMissing;
  }
  return engine_code::kOk;
}

// Starts the program and, with WAIT, waits for it: 0, 2 (unknown wait flag or a command line
// that does not fit 259 characters) or 7.
int RunStart(const RunLine& line) {
  const bool wait = line.wait == "WAIT";
  if (!wait && line.wait != "NOWAIT") {
    WriteLogLine("Run wait flag must be WAIT or NOWAIT: " + line.wait);
    return engine_code::kInvalidArgument;
  }
  // A path with a blank is quoted: unquoted, "C:\Program Files\x.exe" would start C:\Program.exe.
  const bool quote = line.program.find(' ') != std::string::npos;
  const std::string command = (quote ? "\"" + line.program + "\"" : line.program) + " " + line.parameters;
  if (!PathFits(command, "Run command line")) return engine_code::kInvalidArgument;
  char buffer[MAX_PATH] = {};
  command.copy(buffer, command.size());
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  // Named outright: a relative program would otherwise be looked for in the host's folder first.
  if (!::CreateProcessA(line.tested.c_str(), buffer, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
    WriteLogLine("Run " + command + " cannot be started." + LogLastErrorSuffix(::GetLastError()));
    return engine_code::kProgramNotStarted;
  }
  ScopedHandle process(info.hProcess);
  ScopedHandle thread(info.hThread);
  if (wait) {
    ::WaitForSingleObject(process.get(), INFINITE);
    process.Reset();
    thread.Reset();
    ::Sleep(kSettleAfterWaitMs);
  }
  WriteLogLine("Run " + command + (wait ? " OK./WAIT" : " OK./NOWAIT"));
  return engine_code::kOk;
}

}  // namespace

int RunCommand(const std::string& args) {
  RunLine line;
  int r = RunPrepare("RUN", args, &line);
  return r != engine_code::kOk ? r : RunStart(line);
}

int RunIfCommand(const std::string& args) {
  RunLine line;
  int r = RunPrepare("RUNIF", args, &line);
  if (r != engine_code::kOk) return r;
  const int count = GetReferenceCount(line.program);
  WriteLogLine(line.program + " nCount is " + std::to_string(count) + ".");
  if (count > 1) return engine_code::kOk;  // another product still uses it
  return RunStart(line);
}

}  // namespace qm

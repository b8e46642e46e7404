// CALL "library", Function, "parameter" loads a library, calls one of its exports (stdcall, one
// text argument) and takes its result as the command's. A library whose function succeeded
// stays loaded until the chapter ends. CALLIF calls only while no other installed product counts
// the library (its reference count is at most 1) and logs less.
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

struct CallLine {
  std::string library;
  std::string function;
  std::string parameter;
  std::string tested;  // the library's full path: the file the existence test found is the one loaded
};

// Calls |entry| as int __stdcall(const char*) with the stack pointer restored afterwards, so an
// export of another calling convention cannot unbalance the engine's stack.
int CallExport(FARPROC entry, const char* text) {
  int result;
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "pushl %2\n\t"
      "call *%1\n\t"
      "movl %%esi, %%esp\n\t"
      : "=a"(result)
      : "r"(entry), "r"(text)
      : "esi", "ecx", "edx", "memory", "cc");
  return result;
}

// Fields and expansion: 0, 2 (quotes or commas missing, a path that does not fit) or 5.
int CallParse(const char* keyword, const std::string& args, CallLine* line) {
  const size_t first_comma = args.find(',');
  const size_t second_comma = first_comma == std::string::npos ? std::string::npos : args.find(',', first_comma + 1);
  const size_t last_comma = args.rfind(',');
  if (!ArgsFirstQuoted(args, &line->library) || second_comma == std::string::npos ||
      !ArgsOuterQuoted(args.substr(last_comma + 1), &line->parameter)) {
    WriteLogLine(std::string(keyword) +
                 " data invalid, a library in double quotes, a function and a parameter in double quotes are needed:" +
                 args);
    return engine_code::kInvalidArgument;
  }
  for (size_t i = first_comma + 1; i < second_comma; ++i)
    if (args[i] != ' ') line->function += args[i];
  const VariableTable& variables = EngineGetState().variables;
  int r = VariablesExpand(variables, &line->parameter);
  if (r != engine_code::kOk) return r;
  if (!IsAbsolutePath(line->library)) {
    r = VariablesExpand(variables, &line->library);
    if (r != engine_code::kOk) return r;
  }
  if (!PathFits(line->library, "Call library")) return engine_code::kInvalidArgument;
  line->tested = PathAsTested(line->library);
  return engine_code::kOk;
}

// The tested file exactly: a full path is never searched for, and a trailing "." keeps
// LoadLibraryA from adding ".dll" to a name without an extension.
HMODULE LoadTested(const std::string& tested) {
  const size_t name = tested.find_last_of("\\/");
  const bool extension = tested.find('.', name == std::string::npos ? 0 : name) != std::string::npos;
  return ::LoadLibraryA((extension ? tested : tested + ".").c_str());
}

std::string CallDescription(const CallLine& line) {
  return "Call dll " + line.library + " Funcation " + line.function + " Param " + line.parameter;
}

// Loads, looks up and calls; on success the library joins the chapter's list. |quiet| (CALLIF)
// leaves the failures unlogged.
int CallInvoke(const CallLine& line, bool quiet) {
  ScopedModule library(LoadTested(line.tested));
  if (!library) {
    if (!quiet) WriteLogLine("Call dll LoadLibrary Err");
    return engine_code::kLibraryNotLoaded;
  }
  FARPROC entry = ::GetProcAddress(library.get(), line.function.c_str());
  if (!entry) {
    if (!quiet) WriteLogLine("Call dll GetProcAddress Err");
    return engine_code::kFunctionMissing;
  }
  int r = CallExport(entry, line.parameter.c_str());
  if (r != 0) {
    if (!quiet) WriteLogLine("Call dll Function Err!");
    return r;
  }
  WriteLogLine(CallDescription(line) + " OK.");
  EngineGetState().loaded_libraries.push_back(library.Release());  // released when the chapter ends
  return engine_code::kOk;
}

}  // namespace

int CallCommand(const std::string& args) {
  CallLine line;
  int r = CallParse("CALL", args, &line);
  if (r != engine_code::kOk) return r;
  WriteLogLine(CallDescription(line) + " Begin.");
  if (!::PathFileExistsA(line.tested.c_str())) return engine_code::kFileMissing;
  return CallInvoke(line, false);
}

int CallIfCommand(const std::string& args) {
  CallLine line;
  int r = CallParse("CALLIF", args, &line);
  if (r != engine_code::kOk) return r;
  if (!::PathFileExistsA(line.tested.c_str())) return engine_code::kFileMissing;
  const int count = GetReferenceCount(line.library);
  WriteLogLine(line.library + " nCount is " + std::to_string(count) + ".");
  if (count > 1) return engine_code::kOk;  // another product still uses it
  return CallInvoke(line, true);
}

}  // namespace qm

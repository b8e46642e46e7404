// Runs one chapter of the loaded script: each line's keyword picks a handler, the first
// non-zero handler result ends the chapter, and libraries loaded by CALL are released after it.
#ifndef QM_ENGINE_COMMANDS_DISPATCHER_H_
#define QM_ENGINE_COMMANDS_DISPATCHER_H_

#include <cstdint>
#include <string>

#include "engine/script/paths.h"

namespace qm {

// A handler gets the rest of its line (what is left after the keyword is removed).
using CommandHandler = int (*)(const std::string& args);

struct CommandKeyword {
  const char* keyword;  // with its trailing blank
  size_t removed;       // characters taken off the front of the line
  CommandHandler handler;
};

// 0; 2 with no script or an empty name; 3 for an unknown chapter; else the first failing result.
int RunChapter(const std::string& name);

// The keyword table, in the order keywords are tried.
const CommandKeyword* DispatcherKeywords(size_t* count);
// RunChapter over another keyword table (the tests' handlers).
int RunChapterWith(const std::string& name, const CommandKeyword* keywords, size_t count);

// Handlers, one file each.
int CheckCommand(const std::string& args);
int DefCommand(const std::string& args);
int RegProductCommand(const std::string& args);
int CopyCommand(const std::string& args);
int CopyIfCommand(const std::string& args);
int DelCommand(const std::string& args);
int RunCommand(const std::string& args);
int RunIfCommand(const std::string& args);
int CallCommand(const std::string& args);
int CallIfCommand(const std::string& args);

// A file's version from its version resource, as major:minor:build:revision in one number that
// orders versions field by field; 0 for no resource (or version 0.0.0.0).
uint64_t GetFileVersionNumber(const std::string& path);
int VarHandler(const std::string& args);

}  // namespace qm

#endif  // QM_ENGINE_COMMANDS_DISPATCHER_H_

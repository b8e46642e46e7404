// COPY "source", "target", FLAGS and COPYIF "source", "target", FLAGS: install one payload file.
// FLAGS are words joined by "|": UPDATE copies only over an older file (by its version
// resource), OVERWRITE copies regardless, ADD_REF_COUNT counts one more product using the target.
// COPYIF copies only when the COPY before it copied. A target in use is replaced at the next
// restart. A copy that was decided and fails stops the chapter, with no reference added and the
// file it was to replace left as it was.
#include <windows.h>
#include <shlwapi.h>

#include <cstdint>
#include <vector>

#include "base/fs.h"
#include "engine/api/engine_state.h"
#include "engine/commands/dispatcher.h"
#include "engine/commands/ref_count.h"
#include "engine/commands/restart_ops.h"
#include "engine/log/setup_log.h"
#include "engine/script/args.h"
#include "engine/script/variables.h"
#include "qmsetup/results.h"

namespace qm {
namespace {

constexpr unsigned kUpdate = 1;
constexpr unsigned kAddRefCount = 2;
constexpr unsigned kOverwrite = 4;

struct CopyLine {
  std::string source;
  std::string target;
  unsigned flags = 0;
};

unsigned CopyFlags(const std::string& args) {
  size_t comma = args.rfind(',');
  std::string text;
  for (size_t i = comma + 1; i < args.size(); ++i)
    if (args[i] != ' ' && args[i] != '\t') text += args[i];
  unsigned flags = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t bar = text.find('|', start);
    const std::string word = text.substr(start, bar == std::string::npos ? std::string::npos : bar - start);
    if (word == "UPDATE") flags |= kUpdate;
    if (word == "ADD_REF_COUNT") flags |= kAddRefCount;
    if (word == "OVERWRITE") flags |= kOverwrite;
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return flags;
}

// 0, 2 (the quotes or the comma are missing) or 5 (the target names an undefined placeholder).
// An undefined placeholder in the source only stops its expansion.
int CopyParse(const char* keyword, const std::string& args, CopyLine* line) {
  if (!ArgsFirstQuoted(args, &line->source) || !ArgsSecondQuoted(args, &line->target)) {
    WriteLogLine(std::string(keyword) + " data invalid, a source and a target in double quotes are needed:" + args);
    return engine_code::kInvalidArgument;
  }
  line->flags = CopyFlags(args);
  const VariableTable& variables = EngineGetState().variables;
  if (!IsAbsolutePath(line->source)) VariablesExpand(variables, &line->source);
  if (!IsAbsolutePath(line->target)) {
    int r = VariablesExpand(variables, &line->target);
    if (r != engine_code::kOk) return r;
  }
  return engine_code::kOk;
}

// For a line that will copy or count: 0, or 2 for a path that does not fit or a target that
// would land wherever the host's current folder happens to be.
int CopyCheckPaths(const char* keyword, const CopyLine& line) {
  if (!PathFits(line.source, "Copy source") || !PathFits(line.target, "Copy target")) return engine_code::kInvalidArgument;
  if (IsFolderRelativePath(line.target)) {
    WriteLogLine(std::string(keyword) + " target is relative to the current folder: " + line.target);
    return engine_code::kInvalidArgument;
  }
  return engine_code::kOk;
}

std::string CannotCopy(DWORD error) { return "the file cannot be copied" + LogLastErrorSuffix(error); }

int ReplaceInUse(const std::string& source, const std::string& target, std::string* why) {
  int r = ReplaceAtRestart(source, target);
  if (r != engine_code::kOk)
    *why = "the target is in use and cannot be replaced at the next restart" + LogLastErrorSuffix(::GetLastError());
  return r;
}

// Copies to |to|; a copy that fails leaves no part of itself.
int CopyWhole(const std::string& source, const std::string& to, std::string* why) {
  if (::CopyFileA(source.c_str(), to.c_str(), FALSE)) return engine_code::kOk;
  const DWORD error = ::GetLastError();
  FsDeleteFile(to);
  *why = CannotCopy(error);
  return engine_code::kCopyFailed;
}

// 0, 4 (no source), 10 (the copy failed), or 16/17 from the replacement of a target in use. A
// target that is there is replaced only once the new file is whole beside it, so a copy that
// breaks off (a full disk, a read-only folder) leaves the installed file as it was; what a failed
// copy wrote is removed again. In a folder too deep for the side name it is copied in place.
int CopyOneFile(const std::string& source, const std::string& target, std::string* why) {
  if (!::PathFileExistsA(source.c_str())) {
    *why = "the source does not exist";
    return engine_code::kFileMissing;
  }
  const std::string side = CopySideFile(target);
  if (!side.empty() && ::PathFileExistsA(side.c_str())) FsDeleteFile(side);  // from a run that was stopped
  int r = engine_code::kOk;
  if (!::PathFileExistsA(target.c_str())) {
    r = CopyWhole(source, target, why);
  } else if (side.empty()) {
    if (!FsDeleteFile(target)) return ReplaceInUse(source, target, why);
    r = CopyWhole(source, target, why);
  } else {
    r = CopyWhole(source, side, why);
    if (r != engine_code::kOk) return r;
    if (!FsDeleteFile(target)) {
      FsDeleteFile(side);
      return ReplaceInUse(source, target, why);
    }
    if (!::MoveFileA(side.c_str(), target.c_str())) {
      const DWORD error = ::GetLastError();
      FsDeleteFile(side);
      *why = "the new file cannot take the target's place" + LogLastErrorSuffix(error);
      return engine_code::kCopyFailed;
    }
  }
  if (r != engine_code::kOk) return r;
  DWORD attributes = ::GetFileAttributesA(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
    ::SetFileAttributesA(target.c_str(), (attributes & ~FILE_ATTRIBUTE_READONLY) | FILE_ATTRIBUTE_NORMAL);
  return engine_code::kOk;
}

// The folder chain, then the file; logs the line with |tag| on success, a line in words otherwise.
int CopyPerform(const CopyLine& line, const char* tag) {
  const std::string prefix = "Copy " + line.source + " to" + line.target;
  const size_t slash = line.target.rfind('\\');
  if (slash != std::string::npos && !FsCreateFolderChain(line.target.substr(0, slash))) {
    WriteLogLine(prefix + " failed: the target folder cannot be created." + LogLastErrorSuffix(::GetLastError()));
    return engine_code::kCopyFailed;
  }
  std::string why;
  int r = CopyOneFile(line.source, line.target, &why);
  if (r != engine_code::kOk) {
    WriteLogLine(prefix + " failed: " + why + ".");
    return r;
  }
  WriteLogLine(prefix + tag);
  return engine_code::kOk;
}

void CopyAddReference(const CopyLine& line) {
  if (!(line.flags & kAddRefCount)) return;
  AddReference(line.target);  // a failing store still leaves the file installed
  WriteLogLine("Copy over Add Ref Count " + line.target + " OK.");
}

}  // namespace

uint64_t GetFileVersionNumber(const std::string& path) {
  DWORD ignored = 0;
  DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return 0;
  std::vector<char> block(size);
  if (!::GetFileVersionInfoA(path.c_str(), 0, size, block.data())) return 0;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO) || info->dwSignature != 0xFEEF04BD)
    return 0;
  return (uint64_t{info->dwFileVersionMS} << 32) | info->dwFileVersionLS;
}

int CopyCommand(const std::string& args) {
  EngineState& state = EngineGetState();
  state.last_copy = 0;
  CopyLine line;
  int r = CopyParse("COPY", args, &line);
  if (r != engine_code::kOk || line.flags == 0) return r;  // without a flag COPY does nothing
  r = CopyCheckPaths("COPY", line);
  if (r != engine_code::kOk) return r;
  if (line.flags & kUpdate) {
    // Field by field (major, minor, build, revision); 0.0.0.0 and no resource mean "no version".
    // A target without one is copied over whatever the source has, so the source is read only
    // when it matters: a version read costs a library load.
    const uint64_t target_version = GetFileVersionNumber(line.target);
    const uint64_t source_version = target_version == 0 ? 0 : GetFileVersionNumber(line.source);
    const char* tag = nullptr;
    if (source_version == 0 || target_version == 0) {
      tag = " OK./QM_EVER_INSTALL";
    } else if (source_version > target_version) {
      tag = " OK./QM_DEST_VERSION_OLD";
    }
    if (tag) {
      r = CopyPerform(line, tag);
      if (r != engine_code::kOk) return r;
      state.last_copy = 1;
    } else {
      const char* kept = source_version == target_version ? " OK./QM_DEST_DVERSION_EQUAL" : " OK./QM_DEST_DVERSION_NEW";
      WriteLogLine("Not need Copy " + line.source + " to" + line.target + kept);
    }
  }
  if (line.flags & kOverwrite) {
    r = CopyPerform(line, " OK./OVERWRITE");
    if (r != engine_code::kOk) return r;
    state.last_copy = 1;
  }
  CopyAddReference(line);
  return engine_code::kOk;
}

int CopyIfCommand(const std::string& args) {
  CopyLine line;
  int r = CopyParse("COPYIF", args, &line);
  const bool copies = EngineGetState().last_copy == 1;
  if (r != engine_code::kOk || (!copies && !(line.flags & kAddRefCount))) return r;
  r = CopyCheckPaths("COPYIF", line);
  if (r != engine_code::kOk) return r;
  if (copies) {
    r = CopyPerform(line, " OK./Copy_If");
    if (r != engine_code::kOk) return r;
  }
  CopyAddReference(line);
  return engine_code::kOk;
}

}  // namespace qm

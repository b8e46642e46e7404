// COPY "source", "target", FLAGS and COPYIF "source", "target", FLAGS: install one payload file.
// FLAGS are words joined by "|": UPDATE copies only over an older file (by its version
// resource), OVERWRITE copies regardless, ADD_REF_COUNT counts one more product using the target.
// COPYIF copies only when the COPY before it copied. A target in use is replaced at the next
// restart. A copy that was decided and fails stops the chapter, with no reference added and the
// file it was to replace left as it was.
#include "engine/commands/commands.h"
#include "engine/log/log_text.h"
#include "engine/ops/ref_count.h"
#include "engine/script/paths.h"
#include "engine/script/variables.h"

namespace qm {
namespace {

struct CopyLine {
  std::string source;
  std::string target;
};

// The fields with their placeholders expanded: kOk, kInvalidArgument (malformed) or
// kVariableUndefined (the target names an undefined placeholder). An undefined placeholder in
// the source only stops its expansion.
EngineResult CopyExpand(const CommandContext& context, const CommandRecord& record, CopyLine* line) {
  if (!record.well_formed) return RejectMalformed(context, record);
  line->source = record.subject;
  line->target = record.target;
  ExpandPath(context, &line->source);
  return ExpandPath(context, &line->target);
}

// For a line that will copy or count: kOk, or kInvalidArgument for a path that does not fit or a
// target that would land wherever the host's current folder happens to be.
EngineResult CopyCheckPaths(const CommandContext& context, const CommandRecord& record, const CopyLine& line) {
  if (!PathFits(line.source, "Copy source") || !PathFits(line.target, "Copy target"))
    return EngineResult::kInvalidArgument;
  if (IsFolderRelativePath(line.target)) {
    context.Log(log_text::CopyTargetFolderRelative(record.row->log_name, line.target));
    return EngineResult::kInvalidArgument;
  }
  return EngineResult::kOk;
}

std::string ErrorSuffix(SystemError error) { return LogLastErrorSuffix(error); }

EngineResult ReplaceInUse(const CommandContext& context, const CopyLine& line, std::string* why) {
  SystemError error = kSystemOk;
  const EngineResult r = context.system.ReplaceAtRestart(line.source, line.target, &error);
  if (r != EngineResult::kOk) {
    *why = log_text::kWhyNotReplaceable + ErrorSuffix(error);
    return r;
  }
  context.effects.restart_needed = 1;
  context.Log(log_text::ReplacedAtRestart(line.source, line.target));
  return EngineResult::kOk;
}

// Copies to |to|; a copy that fails leaves no part of itself.
EngineResult CopyWhole(System& system, const std::string& source, const std::string& to, std::string* why) {
  const SystemError error = system.CopyTo(source, to);
  if (error == kSystemOk) return EngineResult::kOk;
  system.RemoveFile(to);
  *why = log_text::kWhyNotCopied + ErrorSuffix(error);
  return EngineResult::kCopyFailed;
}

// kOk, kFileMissing (no source), kCopyFailed, or the replacement's result for a target in use. A
// target that is there is replaced only once the new file is whole beside it, so a copy that
// breaks off (a full disk, a read-only folder) leaves the installed file as it was; what a failed
// copy wrote is removed again. In a folder too deep for the side name it is copied in place.
EngineResult CopyOneFile(const CommandContext& context, const CopyLine& line, std::string* why) {
  System& system = context.system;
  if (!system.PathExists(line.source)) {
    *why = log_text::kWhySourceMissing;
    return EngineResult::kFileMissing;
  }
  const std::string side = CopySideFile(line.target);
  if (!side.empty() && system.PathExists(side)) system.RemoveFile(side);  // from a run that was stopped
  if (!system.PathExists(line.target)) {
    QM_RETURN_IF_FAILED(CopyWhole(system, line.source, line.target, why));
  } else if (side.empty()) {
    if (!system.RemoveFile(line.target)) return ReplaceInUse(context, line, why);
    QM_RETURN_IF_FAILED(CopyWhole(system, line.source, line.target, why));
  } else {
    QM_RETURN_IF_FAILED(CopyWhole(system, line.source, side, why));
    if (!system.RemoveFile(line.target)) {
      system.RemoveFile(side);
      return ReplaceInUse(context, line, why);
    }
    const SystemError error = system.MoveTo(side, line.target);
    if (error != kSystemOk) {
      system.RemoveFile(side);
      *why = log_text::kWhyNotInPlace + ErrorSuffix(error);
      return EngineResult::kCopyFailed;
    }
  }
  system.ClearReadOnly(line.target);
  return EngineResult::kOk;
}

// The folder chain, then the file; logs the line with |tag| on success, a line in words otherwise.
EngineResult CopyPerform(const CommandContext& context, const CopyLine& line, const char* tag) {
  const size_t slash = line.target.rfind('\\');
  if (slash != std::string::npos) {
    const SystemError error = context.system.CreateFolderChain(line.target.substr(0, slash));
    if (error != kSystemOk) {
      context.Log(log_text::CopyFailed(line.source, line.target, log_text::kWhyFolderNotMade) + ErrorSuffix(error));
      return EngineResult::kCopyFailed;
    }
  }
  std::string why;
  const EngineResult r = CopyOneFile(context, line, &why);
  if (r != EngineResult::kOk) {
    context.Log(log_text::CopyFailed(line.source, line.target, why) + ".");
    return r;
  }
  context.Log(log_text::Copied(line.source, line.target, tag));
  return EngineResult::kOk;
}

void CopyAddReference(const CommandContext& context, const CommandRecord& record, const CopyLine& line) {
  if (!record.Has(kCopyAddRefCount)) return;
  AddReference(context, line.target);  // a failing store still leaves the file installed
  context.Log(log_text::CopyCounted(line.target));
}

// UPDATE: field by field (major, minor, build, revision); 0.0.0.0 and no resource mean "no
// version". A target without one is copied over whatever the source has, so the source is read
// only when it matters: a version read costs a library load.
EngineResult CopyUpdate(const CommandContext& context, const CopyLine& line) {
  const uint64_t target_version = context.system.FileVersion(line.target);
  const uint64_t source_version = target_version == 0 ? 0 : context.system.FileVersion(line.source);
  const char* tag = nullptr;
  if (source_version == 0 || target_version == 0) {
    tag = log_text::kCopyNoVersion;
  } else if (source_version > target_version) {
    tag = log_text::kCopyTargetOlder;
  }
  if (!tag) {
    const char* kept = source_version == target_version ? log_text::kCopyTargetEqual : log_text::kCopyTargetNewer;
    context.Log(log_text::NotCopied(line.source, line.target, kept));
    return EngineResult::kOk;
  }
  QM_RETURN_IF_FAILED(CopyPerform(context, line, tag));
  context.effects.last_copy = 1;
  return EngineResult::kOk;
}

}  // namespace

EngineResult ExecuteCopy(const CommandContext& context, const CommandRecord& record) {
  context.effects.last_copy = 0;
  CopyLine line;
  QM_RETURN_IF_FAILED(CopyExpand(context, record, &line));
  if (record.flags == 0) return EngineResult::kOk;  // without a flag COPY does nothing
  QM_RETURN_IF_FAILED(CopyCheckPaths(context, record, line));
  if (record.Has(kCopyUpdate)) QM_RETURN_IF_FAILED(CopyUpdate(context, line));
  if (record.Has(kCopyOverwrite)) {
    QM_RETURN_IF_FAILED(CopyPerform(context, line, log_text::kCopyOverwrite));
    context.effects.last_copy = 1;
  }
  CopyAddReference(context, record, line);
  return EngineResult::kOk;
}

EngineResult ExecuteCopyIf(const CommandContext& context, const CommandRecord& record) {
  CopyLine line;
  const EngineResult r = CopyExpand(context, record, &line);
  const bool copies = context.effects.last_copy == 1;
  if (r != EngineResult::kOk || (!copies && !record.Has(kCopyAddRefCount))) return r;
  QM_RETURN_IF_FAILED(CopyCheckPaths(context, record, line));
  if (copies) QM_RETURN_IF_FAILED(CopyPerform(context, line, log_text::kCopyIf));
  CopyAddReference(context, record, line);
  return EngineResult::kOk;
}

}  // namespace qm

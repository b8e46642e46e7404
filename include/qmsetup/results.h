// Every result code the product returns, by table: the engine's (shared by its entry points and
// script commands), the one-call interface's, the front's (returned to host setup programs) and
// the unpacker's. A contract: hosts, the MSI and other installers of the family act on them.
#ifndef QMSETUP_RESULTS_H_
#define QMSETUP_RESULTS_H_

namespace qm {

enum class EngineResult : int {
  kOk = 0,
  kNoVersionKey = 1,  // also: a driver chapter's "restart required"
  kRestartRequired = 1,
  kInvalidArgument = 2,
  kChapterNotFound = 3,
  kFileMissing = 4,
  kVariableUndefined = 5,
  kReferenceStoreFailed = 6,  // a reference count cannot be read or written
  kProgramNotStarted = 7,
  kLibraryNotLoaded = 8,
  kFunctionMissing = 9,
  // A copy that COPY or COPYIF decided to make failed: the target folder cannot be created or
  // CopyFileA failed. The file is not installed, gets no reference and the chapter stops; a file
  // that was there already stays as it was (the new one is copied beside it first).
  kCopyFailed = 10,
  kUnpackFailed = 11,
  kRestartPending = 12,     // Prepare: a restart is pending
  kDoneRestartNeeded = 12,  // Finish: done, and a restart is needed
  kProductKeyFailed = 13,
  kMarkerNotCreated = 14,
  kAlreadyInstalled = 15,
  kReplaceMoveAsideFailed = 16,  // an in-use target cannot be moved to "<target>.OLD"
  kReplaceCopyFailed = 17,       // the copy after moving it aside failed (moved back)
  kEngineBusy = 18,
  kCompanyCountFailed = 19,
  kNotInstalled = 20,
  // Any other value is a CALLed library function's own result, which ends its chapter.
};

constexpr const char* ResultName(EngineResult r) {
  switch (r) {
    case EngineResult::kOk: return "kOk";
    case EngineResult::kNoVersionKey: return "kNoVersionKey/kRestartRequired";
    case EngineResult::kInvalidArgument: return "kInvalidArgument";
    case EngineResult::kChapterNotFound: return "kChapterNotFound";
    case EngineResult::kFileMissing: return "kFileMissing";
    case EngineResult::kVariableUndefined: return "kVariableUndefined";
    case EngineResult::kReferenceStoreFailed: return "kReferenceStoreFailed";
    case EngineResult::kProgramNotStarted: return "kProgramNotStarted";
    case EngineResult::kLibraryNotLoaded: return "kLibraryNotLoaded";
    case EngineResult::kFunctionMissing: return "kFunctionMissing";
    case EngineResult::kCopyFailed: return "kCopyFailed";
    case EngineResult::kUnpackFailed: return "kUnpackFailed";
    case EngineResult::kRestartPending: return "kRestartPending/kDoneRestartNeeded";
    case EngineResult::kProductKeyFailed: return "kProductKeyFailed";
    case EngineResult::kMarkerNotCreated: return "kMarkerNotCreated";
    case EngineResult::kAlreadyInstalled: return "kAlreadyInstalled";
    case EngineResult::kReplaceMoveAsideFailed: return "kReplaceMoveAsideFailed";
    case EngineResult::kReplaceCopyFailed: return "kReplaceCopyFailed";
    case EngineResult::kEngineBusy: return "kEngineBusy";
    case EngineResult::kCompanyCountFailed: return "kCompanyCountFailed";
    case EngineResult::kNotInstalled: return "kNotInstalled";
  }
  return "a library function's own result";
}

// instMW_Install and instMW_Uninstall. A failing listed chapter, when the error-stop setting
// stops the run there, gives the result of its chapter; any chapter not named here gives kFailed.
enum class MiddlewareResult : int {
  kOk = 0,                // also when a restart is needed: ask instMW_IsNeedReboot
  kFailed = 1,            // Prepare, SetInstDir or the action list failed; a too long package name
  kFilesFailed = 1,       // FILES
  kCopyFailed = 2,        // copy
  kFinishFailed = 3,
  kStartFailed = 3,       // start_Daemon, start_certd
  kRegisterFailed = 4,    // RegCSP, UnRegCSP
  kRemoveFailed = 5,      // remove_Daemon, remove_certd
  kDeleteFailed = 6,      // delete
  kDriverFailed = 10,     // Install_Driver, UnInstall_Driver
  kAlreadyInstalled = 11,
  kRestartPending = 12,
};

constexpr const char* ResultName(MiddlewareResult r) {
  switch (r) {
    case MiddlewareResult::kOk: return "kOk";
    case MiddlewareResult::kFailed: return "kFailed/kFilesFailed";
    case MiddlewareResult::kCopyFailed: return "kCopyFailed";
    case MiddlewareResult::kFinishFailed: return "kFinishFailed/kStartFailed";
    case MiddlewareResult::kRegisterFailed: return "kRegisterFailed";
    case MiddlewareResult::kRemoveFailed: return "kRemoveFailed";
    case MiddlewareResult::kDeleteFailed: return "kDeleteFailed";
    case MiddlewareResult::kDriverFailed: return "kDriverFailed";
    case MiddlewareResult::kAlreadyInstalled: return "kAlreadyInstalled";
    case MiddlewareResult::kRestartPending: return "kRestartPending";
  }
  return "unknown";
}

// instMW_IsHaveInstalled.
enum class InstalledResult : int {
  kNotInstalled = 0,
  kPackageNewer = 1,        // also: the recorded version cannot be read
  kSameVersion = 2,
  kRecordedNewer = 3,       // also: the package defines no version
  kVariableUndefined = 5,   // the engine's: {PRODUCT_GUID} is not defined
};

constexpr const char* ResultName(InstalledResult r) {
  switch (r) {
    case InstalledResult::kNotInstalled: return "kNotInstalled";
    case InstalledResult::kPackageNewer: return "kPackageNewer";
    case InstalledResult::kSameVersion: return "kSameVersion";
    case InstalledResult::kRecordedNewer: return "kRecordedNewer";
    case InstalledResult::kVariableUndefined: return "kVariableUndefined";
  }
  return "unknown";
}

enum class FrontResult : int {
  kOk = 0,
  kRestartNeeded = 1,
  kEngineFailed = 2,
  // Staging failed: a carried file could not be written, or a file held open at the staging path by
  // somebody else does not hold exactly our bytes (or cannot be read to compare). Nothing is then
  // loaded: the front never runs an engine or package it did not write itself.
  kStagingFailed = 4,
  kBadLanguage = 5,
  kRestartPending = 8,
  kOsUnsupported = 9,
};

constexpr const char* ResultName(FrontResult r) {
  switch (r) {
    case FrontResult::kOk: return "kOk";
    case FrontResult::kRestartNeeded: return "kRestartNeeded";
    case FrontResult::kEngineFailed: return "kEngineFailed";
    case FrontResult::kStagingFailed: return "kStagingFailed";
    case FrontResult::kBadLanguage: return "kBadLanguage";
    case FrontResult::kRestartPending: return "kRestartPending";
    case FrontResult::kOsUnsupported: return "kOsUnsupported";
  }
  return "not a front result";
}

// The unpacker also leaves its code in the thread's last-error value.
enum class UnpackResult : int {
  kOk = 0,
  kNoMemory = 1,
  kOpenPackage = 2,
  kOpenOutput = 3,
  kSeek = 5,
  kReadTrailer = 6,
  kFolderChain = 8,  // last-error value only; the result is kOpenOutput
  kDecodeNoMemory = 16,
  kNoListPlace = 17,
  kMalformed = 19,
};

constexpr const char* ResultName(UnpackResult r) {
  switch (r) {
    case UnpackResult::kOk: return "kOk";
    case UnpackResult::kNoMemory: return "kNoMemory";
    case UnpackResult::kOpenPackage: return "kOpenPackage";
    case UnpackResult::kOpenOutput: return "kOpenOutput";
    case UnpackResult::kSeek: return "kSeek";
    case UnpackResult::kReadTrailer: return "kReadTrailer";
    case UnpackResult::kFolderChain: return "kFolderChain";
    case UnpackResult::kDecodeNoMemory: return "kDecodeNoMemory";
    case UnpackResult::kNoListPlace: return "kNoListPlace";
    case UnpackResult::kMalformed: return "kMalformed";
  }
  return "not an unpack result";
}

}  // namespace qm

#endif  // QMSETUP_RESULTS_H_

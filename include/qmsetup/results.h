// Every result code the product returns, by table: the engine's (shared by its entry points and
// script commands), the one-call interface's, the front's (returned to host setup programs) and
// the unpacker's. A contract: hosts, the MSI and other installers of the family act on them.
#ifndef QMSETUP_RESULTS_H_
#define QMSETUP_RESULTS_H_

namespace qm {

namespace engine_code {
constexpr int kOk = 0;
constexpr int kNoVersionKey = 1;  // also: a driver chapter's "restart required"
constexpr int kRestartRequired = 1;
constexpr int kInvalidArgument = 2;
constexpr int kChapterNotFound = 3;
constexpr int kFileMissing = 4;
constexpr int kVariableUndefined = 5;
constexpr int kReferenceStoreFailed = 6;  // a reference count cannot be read or written
constexpr int kProgramNotStarted = 7;
constexpr int kLibraryNotLoaded = 8;
constexpr int kFunctionMissing = 9;
// A copy that COPY or COPYIF decided to make failed: the target folder cannot be created or
// CopyFileA failed. The file is not installed, gets no reference and the chapter stops; a file
// that was there already stays as it was (the new one is copied beside it first).
constexpr int kCopyFailed = 10;
constexpr int kUnpackFailed = 11;
constexpr int kRestartPending = 12;  // Prepare: a restart is pending
constexpr int kDoneRestartNeeded = 12;  // Finish: done, and a restart is needed
constexpr int kProductKeyFailed = 13;
constexpr int kMarkerNotCreated = 14;
constexpr int kAlreadyInstalled = 15;
constexpr int kReplaceMoveAsideFailed = 16;  // an in-use target cannot be moved to "<target>.OLD"
constexpr int kReplaceCopyFailed = 17;       // the copy after moving it aside failed (moved back)
constexpr int kEngineBusy = 18;
constexpr int kCompanyCountFailed = 19;
constexpr int kNotInstalled = 20;
}  // namespace engine_code

// instMW_Install and instMW_Uninstall. A failing listed chapter, when the error-stop setting
// stops the run there, gives the code of its chapter: FILES 1, copy 2, start_Daemon and
// start_certd 3, RegCSP and UnRegCSP 4, remove_Daemon and remove_certd 5, delete 6,
// Install_Driver and UnInstall_Driver 10, any other chapter 1.
namespace middleware_code {
constexpr int kOk = 0;  // also when a restart is needed: ask instMW_IsNeedReboot
constexpr int kFailed = 1;  // Prepare, SetInstDir or the action list failed; a too long package name
constexpr int kFinishFailed = 3;
constexpr int kAlreadyInstalled = 11;
constexpr int kRestartPending = 12;
}  // namespace middleware_code

// instMW_IsHaveInstalled (besides the engine's 5 for an undefined {PRODUCT_GUID}).
namespace installed_code {
constexpr int kNotInstalled = 0;
constexpr int kPackageNewer = 1;  // also: the recorded version cannot be read
constexpr int kSameVersion = 2;
constexpr int kRecordedNewer = 3;  // also: the package defines no version
}  // namespace installed_code

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

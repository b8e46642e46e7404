// Every typed result's ResultName() names each value apart from the others and from a value
// that is none of them.
#include <gtest/gtest.h>

#include <initializer_list>
#include <set>
#include <string>

#include "components/crypto/cspinst/doit.h"
#include "components/runtime/common/runtime_codes.h"
#include "qmsetup/results.h"

namespace {

template <typename Result>
void ExpectNamedApart(std::initializer_list<Result> values) {
  const std::string unknown = ResultName(static_cast<Result>(-1));
  std::set<std::string> names;
  for (Result r : values) {
    const std::string name = ResultName(r);
    EXPECT_FALSE(name.empty());
    EXPECT_NE(name, unknown) << static_cast<int>(r);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), values.size());
}

TEST(ResultNames, Results) {
  using qm::EngineResult;
  ExpectNamedApart({EngineResult::kOk, EngineResult::kNoVersionKey, EngineResult::kInvalidArgument,
                    EngineResult::kChapterNotFound, EngineResult::kFileMissing, EngineResult::kVariableUndefined,
                    EngineResult::kReferenceStoreFailed, EngineResult::kProgramNotStarted,
                    EngineResult::kLibraryNotLoaded, EngineResult::kFunctionMissing, EngineResult::kCopyFailed,
                    EngineResult::kUnpackFailed, EngineResult::kRestartPending, EngineResult::kProductKeyFailed,
                    EngineResult::kMarkerNotCreated, EngineResult::kAlreadyInstalled,
                    EngineResult::kReplaceMoveAsideFailed, EngineResult::kReplaceCopyFailed, EngineResult::kEngineBusy,
                    EngineResult::kCompanyCountFailed, EngineResult::kNotInstalled});
  using qm::MiddlewareResult;
  ExpectNamedApart({MiddlewareResult::kOk, MiddlewareResult::kFailed, MiddlewareResult::kCopyFailed,
                    MiddlewareResult::kFinishFailed, MiddlewareResult::kRegisterFailed, MiddlewareResult::kRemoveFailed,
                    MiddlewareResult::kDeleteFailed, MiddlewareResult::kDriverFailed,
                    MiddlewareResult::kAlreadyInstalled, MiddlewareResult::kRestartPending});
  using qm::InstalledResult;
  ExpectNamedApart({InstalledResult::kNotInstalled, InstalledResult::kPackageNewer, InstalledResult::kSameVersion,
                    InstalledResult::kRecordedNewer, InstalledResult::kVariableUndefined});
  using qm::FrontResult;
  ExpectNamedApart({FrontResult::kOk, FrontResult::kRestartNeeded, FrontResult::kEngineFailed,
                    FrontResult::kStagingFailed, FrontResult::kBadLanguage, FrontResult::kRestartPending,
                    FrontResult::kOsUnsupported});
  using qm::UnpackResult;
  ExpectNamedApart({UnpackResult::kOk, UnpackResult::kNoMemory, UnpackResult::kOpenPackage, UnpackResult::kOpenOutput,
                    UnpackResult::kSeek, UnpackResult::kReadTrailer, UnpackResult::kFolderChain,
                    UnpackResult::kDecodeNoMemory, UnpackResult::kNoListPlace, UnpackResult::kMalformed});
}

TEST(ResultNames, RuntimeCodes) {
  using qm::DaemonResult;
  ExpectNamedApart({DaemonResult::kOk, DaemonResult::kUsage, DaemonResult::kNoServices, DaemonResult::kManagerFailed,
                    DaemonResult::kInstallFailed, DaemonResult::kNotInstalled, DaemonResult::kStartFailed,
                    DaemonResult::kStopFailed, DaemonResult::kDeleteFailed, DaemonResult::kTimedOut,
                    DaemonResult::kNotUnderManager, DaemonResult::kInternal});
  using qm::HidRegResult;
  ExpectNamedApart({HidRegResult::kOk, HidRegResult::kNoText, HidRegResult::kFieldCount, HidRegResult::kEmptyField,
                    HidRegResult::kBadVidPid, HidRegResult::kBadNumber, HidRegResult::kBadName,
                    HidRegResult::kRegistryFailed, HidRegResult::kInternal});
  using qm::RemovedResult;
  ExpectNamedApart({RemovedResult::kOk, RemovedResult::kPending, RemovedResult::kListFailed, RemovedResult::kUsage});
  using qm::PluginResult;
  ExpectNamedApart({PluginResult::kOk, PluginResult::kUnavailable, PluginResult::kBufferTooSmall,
                    PluginResult::kBadArgument, PluginResult::kFailed});
}

TEST(ResultNames, CspInst) {
  using qm::CspInstResult;
  ExpectNamedApart({CspInstResult::kOk, CspInstResult::kMalformedText, CspInstResult::kLibraryUnreadable,
                    CspInstResult::kSignatureUnreadable, CspInstResult::kSignatureMismatch,
                    CspInstResult::kRegistryFailed, CspInstResult::kNoMemory});
}

}  // namespace

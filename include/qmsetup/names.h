// The names other binaries, other installers of the family and administrators rely on: files and
// folders, registry keys, the instance marker. A contract: renaming any of them breaks a reader.
#ifndef QMSETUP_NAMES_H_
#define QMSETUP_NAMES_H_

namespace qmsetup {

// In the Temp folder below the Windows folder: each name, and its path below the Windows folder.
constexpr char kWindowsTempFolder[] = "\\Temp";
constexpr char kLogFileName[] = "_!QMSetup_.log";
constexpr char kLogBelowWindows[] = "\\Temp\\_!QMSetup_.log";
constexpr char kRestartMarkerName[] = "InstallReboot";  // its presence: a restart is pending
constexpr char kRestartMarkerBelowWindows[] = "\\Temp\\InstallReboot";

// What the front stages below the user's Temp folder.
constexpr char kStagingFolderName[] = "B80500FF-D0E3-4de4-8D34-81575E59092C";
constexpr char kEngineFileName[] = "QMSetup.dll";
constexpr char kPackageFileName[] = "KX2.dat";

// Below HKEY_LOCAL_MACHINE, shared by every product of the family.
constexpr char kFamilyKey[] = "Software\\QMSrv";
constexpr char kProductKey[] = "Software\\QMSrv\\Product";
constexpr char kRefKey[] = "Software\\QMSrv\\Ref";

constexpr char kInstanceMarker[] = "QM Setup Mutex";  // a named mutex: a process has the engine loaded

}  // namespace qmsetup

#endif  // QMSETUP_NAMES_H_

// Every line the engine writes to the setup log, in one place. The texts are the log's format:
// administrators' tools, support scripts and the other installers of the family search the log
// for them. Spellings that look like slips ("Funcation", "chaper", "form", "INI file is<path>",
// "to<target>" without a blank, "Product have already install") are part of that format and
// must never be corrected. New lines may be added; existing ones are not changed.
//
// A line that quotes a script line's own text (a malformed command) is made from the command
// table's usage: see GrammarMalformedMessage.
#ifndef QM_ENGINE_LOG_LOG_TEXT_H_
#define QM_ENGINE_LOG_LOG_TEXT_H_

#include <string>

namespace qm {
namespace log_text {

// The entry points' frames.
constexpr char kPrepareBegin[] = "====>Begin to Prepare:";
constexpr char kPrepareEnd[] = "<====Ending to Prepare:";
constexpr char kSetInstDirBegin[] = "====>Begin to SetInstDir:";
constexpr char kSetInstDirEnd[] = "<====Ending to SetInstDir:";
constexpr char kSetLangIdBegin[] = "====>Begin to SetLangID:";
constexpr char kSetLangIdEnd[] = "<====Ending to SetLangID.";
constexpr char kDoStepBegin[] = "====>Begin to DoStep:";
constexpr char kDoStepEnd[] = "<====Ending to DoStep:";
constexpr char kInstallBegin[] = "====>Begin to INSTALL:";
constexpr char kInstallEnd[] = "<====Ending to INSTALL:";
constexpr char kUninstallBegin[] = "====>Begin to UNINSTALL:";
constexpr char kUninstallEnd[] = "<====Ending to UNINSTALL:";
constexpr char kFinishBegin[] = "====>Begin to Finish:";
constexpr char kFinishEnd[] = "<====Ending to Finish:";
constexpr char kProductVersionBegin[] = "====>Begin to Get Product ver:";
constexpr char kProductVersionEnd[] = "<====Ending to Get Product ver:";
constexpr char kRegProductBegin[] = "====>Begin Do_RegProduct:";
constexpr char kRegProductEnd[] = "<====Ending Do_RegProduct:";

// Prepare.
constexpr char kDecompressing[] = "Decompressing files...";
constexpr char kDecompressed[] = "Decompressing files OK";
constexpr char kCheckingScript[] = "Check INI file...";
constexpr char kScriptChecked[] = "Check INI file OK.";
constexpr char kCheckingSystem[] = "Check system states...";
constexpr char kSystemChecked[] = "System states OK.";
constexpr char kSystemNeedsRestart[] = "System need reboot.";
constexpr char kEngineFolderTooLong[] = "Prepare cannot get the engine folder within 260 characters.";
inline std::string SystemFolderTooLong(const std::string& what) {
  return "Prepare cannot get the " + what + " folder within 260 characters.";
}
inline std::string PackageNameWithoutDot(const std::string& name) {
  return "Package name " + name + " has no \".\"; no folder to unpack it into.";
}
inline std::string DecompressingFrom(const std::string& package, const std::string& folder) {
  return "Decompressing files form " + package + " to " + folder;
}

// The script file.
inline std::string ScriptFileIs(const std::string& path) { return "INI file is" + path; }
constexpr char kScriptMissing[] = "INI file not exist.";
inline std::string ScriptUnreadable(const std::string& path) { return "INI file cannot be opened: " + path; }
constexpr char kScriptInvalid[] = "INI file data invalid.";

// Settings from the host.
constexpr char kSetInstDirInvalid[] = "SetInstDir Data invalid";
inline std::string SetInstDirIs(const std::string& folder) { return "SetInstDir is " + folder; }
constexpr char kSetLangIdInvalid[] = "SetLangID Data invalid";
inline std::string SetLangIdIs(const std::string& language) { return "SetLangID is: " + language; }

// Chapters.
inline std::string DoStepChapter(const std::string& chapter) { return "DoStep OneChapter is " + chapter; }
inline std::string DriverNeedsRestart(const std::string& chapter) { return chapter + " Need Reboot system."; }
inline std::string ChapterFailed(const std::string& hex_code) { return "Return Err:" + hex_code; }
inline std::string ActionListMissing(const std::string& list) { return "Can not find chaper [" + list + "]."; }
inline std::string PackageNameTooLong(const std::string& name) {
  return "Package name is longer than 259 characters: " + name;
}

// Placeholders and paths.
inline std::string PlaceholderUndefined(const std::string& name) {
  return "Want to Get Common error :" + name + " Not exist.";
}
inline std::string ExpansionTooManySteps(const std::string& text) {
  return "Expand error : " + text + " needs more than 1000 replacements.";
}
inline std::string ExpansionTooLong(const std::string& text) {
  return "Expand error : " + text + " grows beyond 65536 characters.";
}
inline std::string PathTooLong(const std::string& what, const std::string& path) {
  return what + " is longer than 259 characters: " + path;
}

// CHECK.
inline std::string CheckFound(const std::string& path) { return "Check " + path + " OK."; }
inline std::string CheckMissing(const std::string& path) { return "Check " + path + " Not exist."; }

// COPY and COPYIF. |tag| is the outcome after the paths: " OK./QM_EVER_INSTALL", " OK./OVERWRITE", ...
constexpr char kCopyNoVersion[] = " OK./QM_EVER_INSTALL";
constexpr char kCopyTargetOlder[] = " OK./QM_DEST_VERSION_OLD";
constexpr char kCopyTargetEqual[] = " OK./QM_DEST_DVERSION_EQUAL";
constexpr char kCopyTargetNewer[] = " OK./QM_DEST_DVERSION_NEW";
constexpr char kCopyOverwrite[] = " OK./OVERWRITE";
constexpr char kCopyIf[] = " OK./Copy_If";
inline std::string Copied(const std::string& source, const std::string& target, const char* tag) {
  return "Copy " + source + " to" + target + tag;
}
inline std::string NotCopied(const std::string& source, const std::string& target, const char* tag) {
  return "Not need Copy " + source + " to" + target + tag;
}
inline std::string CopyFailed(const std::string& source, const std::string& target, const std::string& why) {
  return "Copy " + source + " to" + target + " failed: " + why;
}
inline std::string CopyCounted(const std::string& target) { return "Copy over Add Ref Count " + target + " OK."; }
inline std::string CopyTargetFolderRelative(const std::string& keyword, const std::string& target) {
  return keyword + " target is relative to the current folder: " + target;
}
inline std::string ReplacedAtRestart(const std::string& source, const std::string& target) {
  return "Need reboot to Copy from " + source + " to" + target + " OK.";
}
// The reasons CopyFailed gives.
constexpr char kWhyFolderNotMade[] = "the target folder cannot be created.";
constexpr char kWhySourceMissing[] = "the source does not exist";
constexpr char kWhyNotCopied[] = "the file cannot be copied";
constexpr char kWhyNotReplaceable[] = "the target is in use and cannot be replaced at the next restart";
constexpr char kWhyNotInPlace[] = "the new file cannot take the target's place";

// DEL.
inline std::string Deleted(const std::string& path, bool force) {
  return "Del " + path + (force ? " OK./FORCE" : " OK./CHECK_REF_COUNT");
}
inline std::string DeletedAtRestart(const std::string& path) { return "Need reboot to Del file " + path + "."; }
inline std::string DeletePathRelative(const std::string& path) {
  return "DEL path is relative to the current folder: " + path;
}
inline std::string ProductFolderGoes(const std::string& folder) { return "Delete Dir is: " + folder; }

// RUN, RUNIF, CALL and CALLIF.
inline std::string RunMissing(const std::string& program) { return "Run " + program + " Not exist."; }
inline std::string RunWaitFlagInvalid(const std::string& flag) { return "Run wait flag must be WAIT or NOWAIT: " + flag; }
inline std::string RunNotStarted(const std::string& command) { return "Run " + command + " cannot be started."; }
inline std::string RunStarted(const std::string& command, bool wait) {
  return "Run " + command + (wait ? " OK./WAIT" : " OK./NOWAIT");
}
inline std::string ReferenceCountIs(const std::string& path, int count) {
  return path + " nCount is " + std::to_string(count) + ".";
}
inline std::string CallDescription(const std::string& library, const std::string& function, const std::string& parameter) {
  return "Call dll " + library + " Funcation " + function + " Param " + parameter;
}
constexpr char kCallBegin[] = " Begin.";
constexpr char kCallOk[] = " OK.";
constexpr char kCallNotLoaded[] = "Call dll LoadLibrary Err";
constexpr char kCallNoFunction[] = "Call dll GetProcAddress Err";
constexpr char kCallFailed[] = "Call dll Function Err!";

// The product record.
constexpr char kInstallNeedsRestart[] = "The INSTALL Need Reboot!!!";
constexpr char kThisIsInstall[] = "====>This is INSTALL:";
constexpr char kThisIsUninstall[] = "====>This is UNINSTALL:";
constexpr char kFinished[] = "Finish.";
inline std::string AlreadyInstalled(const std::string& product) { return "Product have already install is " + product; }
inline std::string ProductIs(const std::string& product) { return "Product is " + product; }
inline std::string ProductVersionIs(const std::string& version) { return "Product ver is " + version; }
inline std::string CompanyIs(const std::string& company) { return "Company is " + company; }
inline std::string IdentityEmpty(const std::string& name) { return name + " is empty."; }
inline std::string KeyNotOpened(const std::string& key) { return "Key " + key + " cannot be opened."; }
inline std::string ProductCountUnreadable(const std::string& product) {
  return "Product count " + product + " cannot be read.";
}
inline std::string CompanyCountUnreadable(const std::string& value) {
  return "Company count " + value + " cannot be read.";
}
inline std::string IsInstallModeInvalid(const std::string& mode) {
  return "IsInstall mode must be INSTALL or UNINSTALL: " + mode;
}
inline std::string MarkerNotCreated(const std::string& marker) {
  return "Restart marker " + marker + " cannot be created.";
}

}  // namespace log_text
}  // namespace qm

#endif  // QM_ENGINE_LOG_LOG_TEXT_H_

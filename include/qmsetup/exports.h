// What the front and the engine export: names and signatures, as hosts call them. A contract.
#ifndef QMSETUP_EXPORTS_H_
#define QMSETUP_EXPORTS_H_

namespace qmsetup {

// The front (Inst_kx2.dll), caller-cleans-stack: kx_PrePareCheck(), kx_Install(0, selector),
// kx_Uninstall(); the codes are FrontResult's.
using FrontInstallFn = int(__cdecl*)(int reserved, int selector);
using FrontNoArgFn = int(__cdecl*)();
constexpr char kFrontPrepareCheck[] = "kx_PrePareCheck";
constexpr char kFrontInstall[] = "kx_Install";
constexpr char kFrontUninstall[] = "kx_Uninstall";

// The engine (QMSetup.dll), callee-cleans-stack, narrow text: Prepare(package), IsInstall(mode),
// SetLangID(language), SetInstDir(folder), DoStep(chapter), Finish(); the one-call interface
// instMW_Install(package), instMW_Uninstall(package), instMW_IsHaveInstalled(package),
// instMW_IsNeedReboot(). The codes are engine_code's, middleware_code's and installed_code's.
using EngineTextFn = int(__stdcall*)(const char* text);
using EngineNoArgFn = int(__stdcall*)();
constexpr char kEnginePrepare[] = "Prepare";
constexpr char kEngineIsInstall[] = "IsInstall";
constexpr char kEngineSetLangId[] = "SetLangID";
constexpr char kEngineSetInstDir[] = "SetInstDir";
constexpr char kEngineDoStep[] = "DoStep";
constexpr char kEngineFinish[] = "Finish";
constexpr char kOneCallInstall[] = "instMW_Install";
constexpr char kOneCallUninstall[] = "instMW_Uninstall";
constexpr char kOneCallIsInstalled[] = "instMW_IsHaveInstalled";
constexpr char kOneCallIsNeedReboot[] = "instMW_IsNeedReboot";

}  // namespace qmsetup

#endif  // QMSETUP_EXPORTS_H_

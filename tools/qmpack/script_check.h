// Checks a package's script for what would fail or be ignored when the engine runs it, so a
// package author hears of it before an installation does.
#ifndef QM_TOOLS_QMPACK_SCRIPT_CHECK_H_
#define QM_TOOLS_QMPACK_SCRIPT_CHECK_H_

#include <string>
#include <vector>

namespace qm {

struct ScriptFinding {
  int line = 0;  // 1-based line of the script, 0 for the script as a whole
  std::string message;
};

// |script| is the text of qmsetup.ini, |package_paths| every entry path of the package.
std::vector<ScriptFinding> ScriptCheck(const std::string& script, const std::vector<std::string>& package_paths);

}  // namespace qm

#endif  // QM_TOOLS_QMPACK_SCRIPT_CHECK_H_

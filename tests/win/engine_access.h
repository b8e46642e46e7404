// The engine's insides as the Windows-side tests reach them: its module state through the real
// system, and its results compared with the numbers hosts see.
#ifndef QM_TESTS_WIN_ENGINE_ACCESS_H_
#define QM_TESTS_WIN_ENGINE_ACCESS_H_

#include <string>

#include "engine/core/command_context.h"
#include "tests/result_printer.h"
#include "qmsetup/results.h"

namespace qm {

// Hosts see the numbers, so the tests state them as numbers.
inline bool operator==(EngineResult r, int code) { return static_cast<int>(r) == code; }
inline bool operator!=(EngineResult r, int code) { return !(r == code); }

}  // namespace qm

namespace qmtest {

// The context the module state's chapters run in, over the real system.
const qm::CommandContext& EngineContext();

// A chapter of the loaded script, run as DoStep runs it.
qm::EngineResult RunChapter(const std::string& name);

}  // namespace qmtest

#endif  // QM_TESTS_WIN_ENGINE_ACCESS_H_

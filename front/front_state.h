// The front's module-wide record: its own instance and the bound engine.
#ifndef QM_FRONT_FRONT_STATE_H_
#define QM_FRONT_FRONT_STATE_H_

#include <windows.h>

#include "base/win/scoped_handle.h"
#include "qmsetup/exports.h"

namespace qm {

using EngineTextEntry = qmsetup::EngineTextFn;
using EngineVoidEntry = qmsetup::EngineNoArgFn;

// A staged file whose bytes were found to be ours, and the guard that keeps them so. The guard
// vouches for this path only: a host that changes TMP between two calls gets a new staging path,
// which is staged and checked anew.
struct StagedFile {
  ScopedHandle guard;
  char path[MAX_PATH] = {};
};

struct FrontState {
  HMODULE instance = nullptr;  // the front DLL itself, recorded at attach
  // The engine stays loaded after an early return so the next run in this process shares its
  // state; only a completed install or uninstall frees it. So it is held raw, not scoped.
  HMODULE engine = nullptr;
  EngineTextEntry prepare = nullptr;
  EngineTextEntry do_step = nullptr;
  EngineTextEntry set_lang_id = nullptr;
  EngineTextEntry is_install = nullptr;
  EngineVoidEntry finish = nullptr;
  // The staged engine and package, held open for reading with writing and deletion denied for
  // as long as the engine is loaded.
  StagedFile engine_file;
  StagedFile package_file;
};

FrontState& FrontGetState();

}  // namespace qm

#endif  // QM_FRONT_FRONT_STATE_H_

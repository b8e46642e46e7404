// What the static GCC runtime keeps for the life of the process, and so would leave behind in
// the host at every unload of one of our DLLs: a semaphore for each of its internal locks (the
// exception frame registry among them), which it never closes, and the emergency pool for
// exceptions. Our DLLs route the semaphores through here and give both back when unloaded.
#ifndef QM_BASE_WIN_RUNTIME_UNLOAD_H_
#define QM_BASE_WIN_RUNTIME_UNLOAD_H_

namespace qm {

// Closes every semaphore the runtime of this module created and frees its exception pool. Call
// only when the module is being unloaded (FreeLibrary), when nothing of it runs any more.
void RuntimeReleaseOnUnload();

}  // namespace qm

#endif  // QM_BASE_WIN_RUNTIME_UNLOAD_H_

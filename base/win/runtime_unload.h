// What the static GCC runtime keeps for the life of the process, and so would leave behind in the
// host at every unload of one of our DLLs: a semaphore for each of its internal locks (the
// exception frame registry among them) and the emergency pool for exceptions. Every binary of
// ours links runtime_unload.cpp, which records those semaphores and gives them and the pool back
// after the runtime's own cleanup has run when the module goes away. Nothing needs calling.
#ifndef QM_BASE_WIN_RUNTIME_UNLOAD_H_
#define QM_BASE_WIN_RUNTIME_UNLOAD_H_
#endif  // QM_BASE_WIN_RUNTIME_UNLOAD_H_

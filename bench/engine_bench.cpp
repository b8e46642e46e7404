// engine_bench ENGINE PACKAGE [--instdir DIR] CHAPTER...: drives the real engine through its
// exports, as the front does, and times each call from inside the process.
//   Prepare(PACKAGE) (the package beside ENGINE), SetInstDir(DIR) when given, DoStep per CHAPTER.
// Prints "prepare_s SECONDS" and "step NAME SECONDS" lines; exits 1 when a call does not return 0.
#include <windows.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "bench/win_clock.h"

namespace {

using EngineText = int(__stdcall*)(const char*);

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: engine_bench ENGINE PACKAGE [--instdir DIR] CHAPTER...\n");
    return 64;
  }
  HMODULE engine = ::LoadLibraryA(argv[1]);
  if (!engine) {
    std::fprintf(stderr, "engine_bench: cannot load %s (error %lu)\n", argv[1], ::GetLastError());
    return 1;
  }
  auto prepare = reinterpret_cast<EngineText>(::GetProcAddress(engine, "Prepare"));
  auto set_inst_dir = reinterpret_cast<EngineText>(::GetProcAddress(engine, "SetInstDir"));
  auto do_step = reinterpret_cast<EngineText>(::GetProcAddress(engine, "DoStep"));
  if (!prepare || !set_inst_dir || !do_step) return 1;
  // The unpacker's console lines are not part of what is measured.
  std::FILE* out = _fdopen(_dup(1), "w");
  std::freopen("NUL", "w", stdout);

  double start = BenchNow();
  int r = prepare(argv[2]);
  std::fprintf(out, "prepare_s %.6f\n", BenchNow() - start);
  if (r != 0) {
    std::fprintf(out, "Prepare returned %d\n", r);
    return 1;
  }
  int i = 3;
  if (i + 1 < argc && std::strcmp(argv[i], "--instdir") == 0) {
    if (set_inst_dir(argv[i + 1]) != 0) return 1;
    i += 2;
  }
  for (; i < argc; ++i) {
    start = BenchNow();
    r = do_step(argv[i]);
    std::fprintf(out, "step %s %.6f\n", argv[i], BenchNow() - start);
    if (r != 0) {
      std::fprintf(out, "DoStep %s returned %d\n", argv[i], r);
      return 1;
    }
  }
  std::fflush(out);
  ::FreeLibrary(engine);
  return 0;
}

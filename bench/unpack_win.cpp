// unpack_win PKG DIR: the engine's unpacker as a Win32 program, timed from inside so that the
// comparison with floor_win leaves Wine's process start out. Prints "work_s SECONDS".
#include <windows.h>

#include <cstdio>

#include "bench/win_clock.h"
#include "engine/package/package_reader.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: unpack_win PKG DIR\n");
    return 64;
  }
  const double begin = BenchNow();
  const int r = qm::PackageUnpack(argv[1], argv[2]);
  const double took = BenchNow() - begin;
  if (r != 0) return r;
  std::printf("work_s %.6f\n", took);
  return 0;
}

// unpack_win PKG DIR: the engine's unpacker as a Win32 program, timed from inside so that the
// comparison with floor_win leaves Wine's process start out. Prints "work_s SECONDS".
#include <windows.h>

#include <cstdio>

#include "base/result.h"
#include "bench/win_clock.h"
#include "engine/package/package_reader.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: unpack_win PKG DIR\n");
    return 64;
  }
  const double begin = BenchNow();
  const qm::UnpackResult r = qm::PackageUnpack(argv[1], argv[2]);
  const double took = BenchNow() - begin;
  if (qm::Failed(r)) return qm::ToInt(r);
  std::printf("work_s %.6f\n", took);
  return 0;
}

// The benchmark programs' clock under Wine: seconds from QueryPerformanceCounter, so a program
// times its own work and Wine's process start stays out.
#ifndef QM_BENCH_WIN_CLOCK_H_
#define QM_BENCH_WIN_CLOCK_H_

#include <windows.h>

inline double BenchNow() {
  LARGE_INTEGER f, c;
  ::QueryPerformanceFrequency(&f);
  ::QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

#endif  // QM_BENCH_WIN_CLOCK_H_

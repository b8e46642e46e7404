// call_costs DIR PE_FILE [N]: what the single calls a COPY line makes cost here (under Wine: each
// one may be a trip to the server), each repeated N times on fresh names below the empty folder
// DIR. Prints "call NAME MICROSECONDS" per call, the mean of the N.
#include <windows.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/win_clock.h"

namespace {

template <typename F>
void Time(const char* name, int n, F f) {
  const double start = BenchNow();
  for (int i = 0; i < n; ++i) f(i);
  std::printf("call %s %.1f\n", name, (BenchNow() - start) / n * 1e6);
}

std::string Name(const std::string& folder, const char* stem, int i) {
  char text[32];
  std::snprintf(text, sizeof(text), "\\%s%05d.bin", stem, i);
  return folder + text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: call_costs DIR PE_FILE [N]\n");
    return 64;
  }
  const std::string dir = argv[1];
  const std::string pe = argv[2];
  const int n = argc > 3 ? std::atoi(argv[3]) : 1000;
  const std::string src = dir + "\\src", dst = dir + "\\dst";
  ::CreateDirectoryA(src.c_str(), nullptr);
  ::CreateDirectoryA(dst.c_str(), nullptr);
  const char body[40] = "0123456789012345678901234567890123456";

  Time("CreateFile+WriteFile+CloseHandle", n, [&](int i) {
    HANDLE h = ::CreateFileA(Name(src, "s", i).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD w = 0;
    ::WriteFile(h, body, sizeof(body), &w, nullptr);
    ::CloseHandle(h);
  });
  Time("GetFileAttributesA(existing file)", n, [&](int i) { ::GetFileAttributesA(Name(src, "s", i).c_str()); });
  Time("PathFileExistsA(existing file)", n, [&](int i) { ::PathFileExistsA(Name(src, "s", i).c_str()); });
  Time("GetFileAttributesA(existing folder)", n, [&](int) { ::GetFileAttributesA(dst.c_str()); });
  Time("PathFileExistsA(missing file)", n, [&](int i) { ::PathFileExistsA(Name(dst, "d", i).c_str()); });
  Time("CopyFileA(new target)", n, [&](int i) { ::CopyFileA(Name(src, "s", i).c_str(), Name(dst, "d", i).c_str(), FALSE); });
  Time("GetFileAttributesA(copied file)", n, [&](int i) { ::GetFileAttributesA(Name(dst, "d", i).c_str()); });
  DWORD ignored = 0;
  Time("GetFileVersionInfoSizeA(missing file)", n,
       [&](int i) { ::GetFileVersionInfoSizeA(Name(dst, "x", i).c_str(), &ignored); });
  Time("GetFileVersionInfoSizeA(small data file)", n,
       [&](int i) { ::GetFileVersionInfoSizeA(Name(src, "s", i).c_str(), &ignored); });
  Time("GetFileVersionInfoSizeA+A(library)", n, [&](int) {
    DWORD size = ::GetFileVersionInfoSizeA(pe.c_str(), &ignored);
    std::vector<char> block(size ? size : 1);
    if (size) ::GetFileVersionInfoA(pe.c_str(), 0, size, block.data());
  });
  std::FILE* log = std::fopen((dir + "\\log.txt").c_str(), "a");
  const std::string line = "Copy " + Name(src, "s", 1) + " to" + Name(dst, "d", 1) + " OK./OVERWRITE";
  Time("log line fwrite+fflush", n, [&](int) {
    std::fwrite(line.data(), 1, line.size(), log);
    std::fputc('\n', log);
    std::fflush(log);
  });
  Time("log line fwrite (no flush)", n, [&](int) {
    std::fwrite(line.data(), 1, line.size(), log);
    std::fputc('\n', log);
  });
  std::fclose(log);
  return 0;
}

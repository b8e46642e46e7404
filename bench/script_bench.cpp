// script_bench FOLDER [ROUNDS]: time to load FOLDER's qmsetup.ini the way Prepare does (read and
// split into lines and chapters). Prints "lines N chapters N load_s SECONDS", the median round.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/script/script.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: script_bench FOLDER [ROUNDS]\n");
    return 64;
  }
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  std::vector<double> took;
  size_t lines = 0, chapters = 0;
  for (int i = 0; i < rounds; ++i) {
    qm::Script script;
    const auto start = std::chrono::steady_clock::now();
    if (qm::ScriptLoad(argv[1], &script) != 0) return 1;
    took.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    lines = script.lines.size();
    chapters = script.chapters.size();
  }
  std::sort(took.begin(), took.end());
  std::printf("lines %zu chapters %zu load_s %.6f\n", lines, chapters, took[took.size() / 2]);
  return 0;
}

// decode_bench PKG [ROUNDS]: time to decode the package directory, per entry.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "engine/package/der.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: decode_bench PKG [ROUNDS]\n");
    return 64;
  }
  int rounds = argc > 2 ? std::atoi(argv[2]) : 20;
  std::FILE* f = std::fopen(argv[1], "rb");
  if (!f) return 1;
  std::fseek(f, -4, SEEK_END);
  unsigned char t[4];
  if (std::fread(t, 1, 4, f) != 4) return 1;
  long size = t[0] | (t[1] << 8) | (t[2] << 16) | (static_cast<long>(t[3]) << 24);
  std::vector<uint8_t> dir(size);
  std::fseek(f, -4 - size, SEEK_END);
  if (std::fread(dir.data(), 1, size, f) != static_cast<size_t>(size)) return 1;
  std::fclose(f);
  size_t entries = 0;
  auto best = std::chrono::duration<double>::max();
  for (int r = 0; r < rounds; ++r) {
    std::vector<qm::PackageEntry> out;
    auto start = std::chrono::steady_clock::now();
    if (qm::DerDecodeDirectory(dir.data(), dir.size(), &out) != qm::UnpackResult::kOk) return 2;
    auto took = std::chrono::steady_clock::now() - start;
    if (took < best) best = took;
    entries = out.size();
  }
  std::printf("%zu entries, directory %ld bytes, decode %.1f ns/entry\n", entries, size,
              entries ? best.count() * 1e9 / entries : 0.0);
  return 0;
}

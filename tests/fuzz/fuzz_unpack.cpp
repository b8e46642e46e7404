// libFuzzer: the whole read-and-extract path on an arbitrary package file, in a scratch folder.
// Traps if anything is written next to the package instead of below the destination.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/package/package_reader.h"

namespace fs = std::filesystem;

namespace {

fs::path Scratch() {
  static fs::path scratch = [] {
    fs::path p = fs::temp_directory_path() / ("qm_fuzz_unpack_" + std::to_string(::getpid()));
    fs::remove_all(p);
    fs::create_directories(p);
    std::freopen("/dev/null", "w", stdout);  // the unpacker's console lines
    return p;
  }();
  return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path scratch = Scratch();
  const fs::path package = scratch / "pkg.dat";
  const fs::path out = scratch / "out";
  {
    std::FILE* f = std::fopen(package.c_str(), "wb");
    if (!f) return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  qm::PackageUnpack(package.string(), out.string().c_str());
  for (const auto& entry : fs::directory_iterator(scratch)) {
    if (entry.path() != package && entry.path() != out) __builtin_trap();
  }
  std::error_code ec;
  fs::remove_all(out, ec);
  return 0;
}

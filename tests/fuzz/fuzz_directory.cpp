// libFuzzer: the directory decoder on arbitrary bytes.
#include <cstddef>
#include <cstdint>

#include "engine/package/der.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<qm::PackageEntry> entries;
  if (qm::DerDecodeDirectory(data, size, &entries) == qm::UnpackResult::kOk) {
    for (const qm::PackageEntry& e : entries) {
      if (e.path.size() > qm::kPackagePathMax || !qm::DerPathIsSafe(e.path)) __builtin_trap();
      if (uint64_t{e.offset} + e.length >= qm::kPackageValueLimit) __builtin_trap();
    }
  }
  return 0;
}

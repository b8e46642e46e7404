// The package directory: a DER SEQUENCE OF { INTEGER offset, INTEGER length, string path },
// decoded by a strict subset of DER. Portable code.
#ifndef QM_ENGINE_PACKAGE_DER_H_
#define QM_ENGINE_PACKAGE_DER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "qmsetup/results.h"

namespace qm {

constexpr size_t kPackagePathMax = 259;  // the path field holds 260 bytes with its NUL
constexpr uint32_t kPackageValueLimit = 0x80000000u;  // positions are signed 32-bit file offsets

struct PackageEntry {
  uint32_t offset = 0;
  uint32_t length = 0;
  std::string path;  // relative while decoding; the full output path after the list is read
};

struct DerElement {
  uint32_t tag = 0;
  size_t header_size = 0;  // identifier and length octets
  size_t content_size = 0;
  const uint8_t* content = nullptr;
  size_t size() const { return header_size + content_size; }
};

// Reads one element at the start of [bytes, bytes + available). kOk or kMalformed.
UnpackResult DerReadElement(const uint8_t* bytes, size_t available, DerElement* out);

// INTEGER content as an unsigned 32-bit number (one leading 0x00 dropped, no sign). kOk or
// kMalformed.
UnpackResult DerReadUnsigned(const DerElement& element, uint32_t* out);

// True for a relative path that stays below the folder it is unpacked into and names a plain
// file there: no drive or stream (":"), no leading separator, no ".." component and no
// component that names a device (NUL, CON, PRN, AUX, COM1-9, LPT1-9, with or without an
// extension, in any case, with trailing dots or blanks).
bool DerPathIsSafe(const std::string& path);
// A path component that Windows opens as a device.
bool DerNameIsDevice(const std::string& name);

// kOk with |out| filled, kDecodeNoMemory (no memory or no |out|) or kMalformed; |out| untouched on
// failure.
UnpackResult DerDecodeDirectory(const uint8_t* bytes, size_t size, std::vector<PackageEntry>* out);

}  // namespace qm

#endif  // QM_ENGINE_PACKAGE_DER_H_

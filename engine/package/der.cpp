#include "engine/package/der.h"

#include <new>

#include "base/result.h"

namespace qm {
namespace {

constexpr uint32_t kTagSequence = 16;
constexpr uint32_t kTagInteger = 2;
constexpr uint32_t kTagBitString = 3;

UnpackResult DerDecodePath(const DerElement& element, std::string* out) {
  const uint8_t* p = element.content;
  size_t n = element.content_size;
  if (element.tag == kTagBitString && n > 0) {
    ++p;  // unused-bits octet
    --n;
  } else if (element.tag == kTagInteger && n >= 2 && p[0] == 0x00 && (p[1] & 0x80)) {
    ++p;
    --n;
  }
  std::string path(reinterpret_cast<const char*>(p), n);
  path.resize(path.find('\0') == std::string::npos ? n : path.find('\0'));  // the field is a C string
  if (path.size() > kPackagePathMax || !DerPathIsSafe(path)) return UnpackResult::kMalformed;
  *out = std::move(path);
  return UnpackResult::kOk;
}

UnpackResult DerDecodeEntry(const DerElement& entry, PackageEntry* out) {
  if (entry.tag != kTagSequence) return UnpackResult::kMalformed;
  DerElement children[3];
  size_t used = 0;
  int count = 0;
  while (used < entry.content_size) {
    DerElement child;
    if (Failed(DerReadElement(entry.content + used, entry.content_size - used, &child)))
      return UnpackResult::kMalformed;
    if (count < 3) children[count] = child;
    ++count;
    used += child.size();
  }
  if (count < 3) return UnpackResult::kMalformed;
  PackageEntry decoded;
  if (Failed(DerReadUnsigned(children[0], &decoded.offset)) || Failed(DerReadUnsigned(children[1], &decoded.length)))
    return UnpackResult::kMalformed;
  if (decoded.offset >= kPackageValueLimit || decoded.length >= kPackageValueLimit ||
      uint64_t{decoded.offset} + decoded.length >= kPackageValueLimit)
    return UnpackResult::kMalformed;
  if (Failed(DerDecodePath(children[2], &decoded.path))) return UnpackResult::kMalformed;
  *out = std::move(decoded);
  return UnpackResult::kOk;
}

}  // namespace

UnpackResult DerReadElement(const uint8_t* bytes, size_t available, DerElement* out) {
  if (available < 2) return UnpackResult::kMalformed;
  uint8_t id = bytes[0];
  if ((id & 0x1F) == 0x1F) return UnpackResult::kMalformed;  // high-tag-number form
  uint32_t tag = (id & 0x80) ? id : (id & 0x1F);
  size_t header = 2;
  size_t length = bytes[1];
  if (length >= 0x80) {
    size_t n = length & 0x7F;
    if (n == 0 || n > 4) return UnpackResult::kMalformed;  // indefinite form, or too long
    if (available < 2 + n) return UnpackResult::kMalformed;
    length = 0;
    for (size_t i = 0; i < n; ++i) length = (length << 8) | bytes[2 + i];
    header += n;
  }
  if (length > available - header) return UnpackResult::kMalformed;  // runs past its parent
  out->tag = tag;
  out->header_size = header;
  out->content_size = length;
  out->content = bytes + header;
  return UnpackResult::kOk;
}

UnpackResult DerReadUnsigned(const DerElement& element, uint32_t* out) {
  const uint8_t* p = element.content;
  size_t n = element.content_size;
  if (n == 0) return UnpackResult::kMalformed;
  if (n >= 2 && p[0] == 0x00) {
    ++p;
    --n;
  }
  uint32_t value = 0;
  for (size_t i = 0; i < n; ++i) value = (value << 8) | p[i];
  *out = value;
  return UnpackResult::kOk;
}

bool DerNameIsDevice(const std::string& name) {
  // Windows reads the name up to its first "." with trailing blanks and dots dropped; these
  // names then open a device (the superscript digits of code page 1252 count as digits there).
  std::string base = name.substr(0, name.find('.'));
  while (!base.empty() && (base.back() == ' ' || base.back() == '.')) base.pop_back();
  std::string upper;
  for (char c : base) upper += (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" || upper == "CONIN$" || upper == "CONOUT$")
    return true;
  if (upper.size() != 4 || (upper.compare(0, 3, "COM") != 0 && upper.compare(0, 3, "LPT") != 0)) return false;
  unsigned char digit = static_cast<unsigned char>(upper[3]);
  return (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
}

bool DerPathIsSafe(const std::string& path) {
  if (path.empty()) return true;
  if (path[0] == '\\' || path[0] == '/') return false;
  // A drive ("C:"), and after it an alternate data stream ("a.txt:s"): no ":" belongs in a path.
  if (path.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of("\\/", start);
    if (end == std::string::npos) end = path.size();
    // Windows drops trailing dots and blanks from a name: "...", ".. " act as ".." there.
    std::string part = path.substr(start, end - start);
    if (part.find("..") != std::string::npos && part.find_first_not_of(". ") == std::string::npos) return false;
    if (DerNameIsDevice(part)) return false;
    start = end + 1;
  }
  return true;
}

UnpackResult DerDecodeDirectory(const uint8_t* bytes, size_t size, std::vector<PackageEntry>* out) {
  if (!out) return UnpackResult::kDecodeNoMemory;
  try {
    DerElement outer;
    if (Failed(DerReadElement(bytes, size, &outer)) || outer.tag != kTagSequence || outer.size() != size)
      return UnpackResult::kMalformed;
    std::vector<PackageEntry> entries;
    size_t used = 0;
    while (used < outer.content_size) {
      DerElement element;
      if (Failed(DerReadElement(outer.content + used, outer.content_size - used, &element)))
        return UnpackResult::kMalformed;
      PackageEntry entry;
      QM_RETURN_IF_FAILED(DerDecodeEntry(element, &entry));
      entries.push_back(std::move(entry));
      used += element.size();
    }
    *out = std::move(entries);
    return UnpackResult::kOk;
  } catch (const std::bad_alloc&) {
    return UnpackResult::kDecodeNoMemory;
  }
}

}  // namespace qm

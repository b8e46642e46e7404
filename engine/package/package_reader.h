// Reads a package (bodies, DER directory, 4-byte little-endian directory size) and unpacks it.
// Reports to standard output, and leaves its result code in the thread's last-error value.
#ifndef QM_ENGINE_PACKAGE_PACKAGE_READER_H_
#define QM_ENGINE_PACKAGE_PACKAGE_READER_H_

#include <cstdio>
#include <string>
#include <vector>

#include "engine/package/der.h"

namespace qm {

constexpr size_t kPackageCopyChunk = 2048;

// Reads the directory and turns each path into destination folder + "\" + path. A null
// |destination| means the relative folder "qmsetup\". 0 or an unpack_code.
int PackageReadEntryList(const std::string& package_path, const char* destination, std::vector<PackageEntry>* out);

// Writes every entry's body to its full path, front to back. 0 or an unpack_code.
int PackageExtractEntries(const std::string& package_path, const std::vector<PackageEntry>& entries);

// Reads the entry list, then extracts. 0 or the first failing step's code.
int PackageUnpack(const std::string& package_path, const char* destination);

// Creates the folders of |path|, then opens it with |mode|; null on failure.
std::FILE* PackageOpenForWriting(const std::string& path, const char* mode);

}  // namespace qm

#endif  // QM_ENGINE_PACKAGE_PACKAGE_READER_H_

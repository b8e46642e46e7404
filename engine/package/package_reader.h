// Reads a package (bodies, DER directory, 4-byte little-endian directory size) and unpacks it.
// Reports to standard output, and leaves its result code in the thread's last-error value.
#ifndef QM_ENGINE_PACKAGE_PACKAGE_READER_H_
#define QM_ENGINE_PACKAGE_PACKAGE_READER_H_

#include <cstdio>
#include <string>
#include <vector>

#include "base/fs.h"
#include "engine/package/der.h"

namespace qm {

// Bodies are read in blocks of this size and written to their files straight from the block: one
// read serves thousands of small bodies, and a large body takes few calls. Larger blocks cost more
// in page faults of their own than they save in calls (a 1 MB block made unpacking the shipped
// package 10% slower).
constexpr size_t kPackageReadBlock = 256 * 1024;

// Reads the directory and turns each path into destination folder + "\" + path. A null
// |destination| means the relative folder "qmsetup\".
UnpackResult PackageReadEntryList(const std::string& package_path, const char* destination,
                                  std::vector<PackageEntry>* out);

// Writes every entry's body to its full path, front to back.
UnpackResult PackageExtractEntries(const std::string& package_path, const std::vector<PackageEntry>& entries);

// Reads the entry list, then extracts. kOk or the first failing step's result.
UnpackResult PackageUnpack(const std::string& package_path, const char* destination);

// Creates the folders of |path|, then opens it as fopen "wb" would. |*ready_folder| names a folder
// known to exist (the previous file's): when |path| is in it, the folders are not looked at again;
// afterwards it names |path|'s folder. False on failure.
bool PackageOpenForWriting(const std::string& path, std::string* ready_folder, FsOutputFile* out);

}  // namespace qm

#endif  // QM_ENGINE_PACKAGE_PACKAGE_READER_H_

// Writes packages in the layout the engine reads: bodies back to back from offset 0, then the DER
// directory, then its size as 4 little-endian bytes.
#ifndef QM_ENGINE_PACKAGE_PACKAGE_WRITER_H_
#define QM_ENGINE_PACKAGE_PACKAGE_WRITER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "engine/package/der.h"

namespace qm {

// Minimal definite length: short form below 128, else 0x81..0x84 and the octets.
std::vector<uint8_t> DerEncodeLength(size_t length);
// Minimal big-endian INTEGER; 0x00 in front when the top bit would be set.
std::vector<uint8_t> DerEncodeInteger(uint32_t value);
// The whole directory: SEQUENCE OF SEQUENCE { INTEGER, INTEGER, PrintableString }.
std::vector<uint8_t> DerEncodeDirectory(const std::vector<PackageEntry>& entries);

struct PackSource {
  std::string package_path;  // "\" between folders
  std::string file;          // where the body is read from
};

// The package is written to |out_path| + this, then renamed into place.
constexpr char kPartSuffix[] = ".part";

// Writes |sources| in order to |out_path|. Returns an empty string or a message in words; on
// failure |out_path| is left as it was and nothing else stays behind.
std::string PackageWrite(const std::string& out_path, const std::vector<PackSource>& sources);

// The package path of every regular file below |root|: "qmsetup.ini" first, then the order of
// |list_file| when given (one package path per line), else a byte-wise sorted walk. Files that
// are one of |leave_out| (the package being made, for one) are not walked.
std::string PackageCollect(const std::string& root, const std::string& list_file, std::vector<PackSource>* out,
                           const std::vector<std::string>& leave_out = {});

}  // namespace qm

#endif  // QM_ENGINE_PACKAGE_PACKAGE_WRITER_H_

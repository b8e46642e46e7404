#include "engine/package/package_writer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "base/scoped_file.h"

namespace qm {
namespace {

namespace fs = std::filesystem;

void Append(std::vector<uint8_t>* out, const std::vector<uint8_t>& bytes) {
  out->insert(out->end(), bytes.begin(), bytes.end());
}

std::vector<uint8_t> DerEncodeElement(uint8_t identifier, const std::vector<uint8_t>& content) {
  std::vector<uint8_t> out{identifier};
  Append(&out, DerEncodeLength(content.size()));
  Append(&out, content);
  return out;
}

std::string ToPackagePath(const fs::path& relative) {
  std::string out;
  for (const auto& part : relative) {
    if (!out.empty()) out += '\\';
    out += part.string();
  }
  return out;
}

std::string ToNativePath(const std::string& package_path) {
  std::string out = package_path;
  std::replace(out.begin(), out.end(), '\\', '/');
  return out;
}

// Bodies, directory and trailer into |path|. Empty string or a message in words.
std::string PackageWriteTo(const std::string& path, const std::vector<PackSource>& sources) {
  ScopedFile out(std::fopen(path.c_str(), "wb"));
  if (!out) return "cannot create " + path;
  std::vector<PackageEntry> entries;
  uint64_t offset = 0;
  std::vector<char> buffer(1 << 16);
  for (const PackSource& source : sources) {
    ScopedFile in(std::fopen(source.file.c_str(), "rb"));
    if (!in) return "cannot read " + source.file;
    uint64_t length = 0;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
      // Checked before the bytes go out: a source that keeps growing cannot fill the disk.
      if (offset + length + n >= kPackageValueLimit) return "package would exceed 2 GiB at " + source.package_path;
      if (std::fwrite(buffer.data(), 1, n, out.get()) != n) return "cannot write " + path;
      length += n;
    }
    if (std::ferror(in.get())) return "cannot read " + source.file;
    PackageEntry entry;
    entry.offset = static_cast<uint32_t>(offset);
    entry.length = static_cast<uint32_t>(length);
    entry.path = source.package_path;
    entries.push_back(std::move(entry));
    offset += length;
  }
  std::vector<uint8_t> directory = DerEncodeDirectory(entries);
  uint32_t size = static_cast<uint32_t>(directory.size());
  uint8_t trailer[4] = {static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size >> 16),
                        static_cast<uint8_t>(size >> 24)};
  if (std::fwrite(directory.data(), 1, directory.size(), out.get()) != directory.size() ||
      std::fwrite(trailer, 1, 4, out.get()) != 4 || !out.Reset())
    return "cannot write " + path;
  return std::string();
}

bool SameFile(const fs::path& a, const std::vector<std::string>& others) {
  std::error_code ec;
  for (const std::string& other : others)
    if (fs::equivalent(a, other, ec)) return true;
  return false;
}

}  // namespace

std::vector<uint8_t> DerEncodeLength(size_t length) {
  if (length < 0x80) return {static_cast<uint8_t>(length)};
  std::vector<uint8_t> octets;
  for (size_t v = length; v > 0; v >>= 8) octets.insert(octets.begin(), static_cast<uint8_t>(v & 0xFF));
  octets.insert(octets.begin(), static_cast<uint8_t>(0x80 | octets.size()));
  return octets;
}

std::vector<uint8_t> DerEncodeInteger(uint32_t value) {
  std::vector<uint8_t> content;
  for (uint32_t v = value; v > 0; v >>= 8) content.insert(content.begin(), static_cast<uint8_t>(v & 0xFF));
  if (content.empty() || (content[0] & 0x80)) content.insert(content.begin(), 0x00);
  return DerEncodeElement(0x02, content);
}

std::vector<uint8_t> DerEncodeDirectory(const std::vector<PackageEntry>& entries) {
  std::vector<uint8_t> body;
  for (const PackageEntry& entry : entries) {
    std::vector<uint8_t> fields = DerEncodeInteger(entry.offset);
    Append(&fields, DerEncodeInteger(entry.length));
    Append(&fields, DerEncodeElement(0x13, std::vector<uint8_t>(entry.path.begin(), entry.path.end())));
    Append(&body, DerEncodeElement(0x30, fields));
  }
  return DerEncodeElement(0x30, body);
}

std::string PackageWrite(const std::string& out_path, const std::vector<PackSource>& sources) {
  for (const PackSource& source : sources) {
    if (source.package_path.empty() || source.package_path.size() > kPackagePathMax)
      return "package path must be 1 to 259 bytes: " + source.package_path;
    if (!DerPathIsSafe(source.package_path))
      return "package path leaves the unpack folder or names a device or stream: " + source.package_path;
  }
  // Written beside the target and renamed at the end, so a failed run leaves an existing
  // package of that name as it was.
  const std::string part_path = out_path + kPartSuffix;
  std::string error = PackageWriteTo(part_path, sources);
  std::error_code ec;
  if (error.empty()) {
    fs::rename(part_path, out_path, ec);
    if (ec) error = "cannot rename " + part_path + " to " + out_path + ": " + ec.message();
  }
  if (!error.empty()) fs::remove(part_path, ec);
  return error;
}

std::string PackageCollect(const std::string& root, const std::string& list_file, std::vector<PackSource>* out,
                           const std::vector<std::string>& leave_out) {
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return root + " is not a folder";
  std::vector<std::string> walked;
  for (auto it = fs::recursive_directory_iterator(root, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    if (it->is_regular_file(ec) && !SameFile(it->path(), leave_out)) walked.push_back(ToPackagePath(fs::relative(it->path(), root, ec)));
  }
  if (ec) return "cannot walk " + root + ": " + ec.message();
  std::sort(walked.begin(), walked.end());
  const std::string script = "qmsetup.ini";
  if (!std::binary_search(walked.begin(), walked.end(), script)) return root + " has no qmsetup.ini";

  std::vector<std::string> order{script};
  std::set<std::string> seen{script};
  if (!list_file.empty()) {
    std::ifstream list(list_file);
    if (!list) return "cannot read list " + list_file;
    std::string line;
    while (std::getline(list, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty() || line[0] == '#' || seen.count(line)) continue;
      if (!std::binary_search(walked.begin(), walked.end(), line)) return "listed file not found below " + root + ": " + line;
      order.push_back(line);
      seen.insert(line);
    }
  } else {
    for (const std::string& path : walked)
      if (seen.insert(path).second) order.push_back(path);
  }
  out->clear();
  for (const std::string& path : order) out->push_back({path, (fs::path(root) / ToNativePath(path)).string()});
  return std::string();
}

}  // namespace qm

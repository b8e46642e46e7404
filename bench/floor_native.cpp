// floor_native PKG DIR: the least work any unpacker of PKG into the empty folder DIR must do, as
// the yardstick for qmpack extract. Each folder is made once, each file created, and its body
// copied inside the kernel (copy_file_range) from the package's body region. No checks beyond
// what the system calls report, no console lines.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/package/der.h"

namespace {

int Fail(const char* what, const std::string& path) {
  std::perror((std::string(what) + " " + path).c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: floor_native PKG DIR\n");
    return 64;
  }
  int in = ::open(argv[1], O_RDONLY);
  if (in < 0) return Fail("open", argv[1]);
  struct stat st;
  if (::fstat(in, &st) != 0 || st.st_size < 4) return Fail("stat", argv[1]);
  uint8_t t[4];
  if (::pread(in, t, 4, st.st_size - 4) != 4) return Fail("read", argv[1]);
  const uint32_t size = t[0] | (t[1] << 8) | (t[2] << 16) | (uint32_t{t[3]} << 24);
  std::vector<uint8_t> dir(size);
  if (::pread(in, dir.data(), size, st.st_size - 4 - size) != static_cast<ssize_t>(size)) return Fail("read", argv[1]);
  std::vector<qm::PackageEntry> entries;
  if (qm::DerDecodeDirectory(dir.data(), dir.size(), &entries) != qm::UnpackResult::kOk) return Fail("decode", argv[1]);

  const std::string root = std::string(argv[2]) + "/";
  std::unordered_set<std::string> made;
  std::string last_folder;
  std::string path;
  for (qm::PackageEntry& e : entries) {
    for (char& c : e.path)
      if (c == '\\') c = '/';
    const size_t slash = e.path.rfind('/');
    if (slash != std::string::npos && e.path.compare(0, slash, last_folder) != 0) {
      last_folder.assign(e.path, 0, slash);
      for (size_t sep = e.path.find('/'); sep != std::string::npos && sep <= slash; sep = e.path.find('/', sep + 1)) {
        std::string level = e.path.substr(0, sep);
        if (made.insert(level).second && ::mkdir((root + level).c_str(), 0777) != 0) return Fail("mkdir", root + level);
      }
    }
    path = root + e.path;
    int out = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0) return Fail("open", path);
    loff_t from = e.offset;
    for (size_t left = e.length; left > 0;) {
      ssize_t n = ::copy_file_range(in, &from, out, nullptr, left, 0);
      if (n <= 0) return Fail("copy_file_range", path);
      left -= static_cast<size_t>(n);
    }
    if (::close(out) != 0) return Fail("close", path);
  }
  ::close(in);
  return 0;
}

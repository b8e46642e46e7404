// floor_win: the least Win32 work for what the unpacker and the COPY command do, as their yardstick
// under Wine. Prints "work_s SECONDS" for the timed part alone.
//   floor_win extract PKG DIR   each folder made once, each file created and written from the
//                               package's body region, read front to back through a 1 MB buffer
//   floor_win copy PKG DIR      extracts PKG into DIR\src (not timed), then copies every file but
//                               the script to DIR\dst with CopyFileA, each folder made once (timed)
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "bench/win_clock.h"
#include "engine/package/der.h"

namespace {

constexpr DWORD kBuffer = 1 << 20;

int Fail(const char* what, const std::string& path) {
  std::fprintf(stderr, "floor_win: %s %s failed, error %lu\n", what, path.c_str(), ::GetLastError());
  return 1;
}

bool ReadAt(HANDLE file, DWORD offset, void* to, DWORD size, DWORD* got) {
  if (::SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  return ::ReadFile(file, to, size, got, nullptr) != FALSE;
}

bool ReadEntries(HANDLE package, std::vector<qm::PackageEntry>* entries) {
  DWORD high = 0;
  const DWORD size = ::GetFileSize(package, &high);
  uint8_t t[4];
  DWORD got = 0;
  if (size < 4 || !ReadAt(package, size - 4, t, 4, &got) || got != 4) return false;
  const uint32_t dir_size = t[0] | (t[1] << 8) | (t[2] << 16) | (uint32_t{t[3]} << 24);
  std::vector<uint8_t> dir(dir_size);
  if (!ReadAt(package, size - 4 - dir_size, dir.data(), dir_size, &got) || got != dir_size) return false;
  return qm::DerDecodeDirectory(dir.data(), dir.size(), entries) == qm::UnpackResult::kOk;
}

// Makes the folders of |relative| below |root| that no earlier call made.
bool MakeFolders(const std::string& root, const std::string& relative, std::unordered_set<std::string>* made,
                 std::string* last_folder) {
  const size_t slash = relative.rfind('\\');
  if (slash == std::string::npos || relative.compare(0, slash, *last_folder) == 0) return true;
  last_folder->assign(relative, 0, slash);
  for (size_t sep = relative.find('\\'); sep != std::string::npos && sep <= slash; sep = relative.find('\\', sep + 1)) {
    std::string level = relative.substr(0, sep);
    if (made->insert(level).second && !::CreateDirectoryA((root + level).c_str(), nullptr)) return false;
  }
  return true;
}

int Extract(HANDLE package, const std::vector<qm::PackageEntry>& entries, const std::string& root) {
  std::vector<char> buffer(kBuffer);
  DWORD start = 0, size = 0;  // the buffer holds the package bytes [start, start + size)
  std::unordered_set<std::string> made;
  std::string last_folder;
  for (const qm::PackageEntry& e : entries) {
    if (!MakeFolders(root, e.path, &made, &last_folder)) return Fail("CreateDirectoryA", e.path);
    const std::string path = root + e.path;
    HANDLE out = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return Fail("CreateFileA", path);
    for (DWORD at = e.offset, end = e.offset + e.length; at < end;) {
      if (at < start || at >= start + size) {
        start = at;
        if (!ReadAt(package, start, buffer.data(), kBuffer, &size) || size == 0) return Fail("ReadFile", path);
      }
      DWORD n = start + size - at;
      if (n > end - at) n = end - at;
      DWORD written = 0;
      if (!::WriteFile(out, buffer.data() + (at - start), n, &written, nullptr) || written != n) return Fail("WriteFile", path);
      at += n;
    }
    ::CloseHandle(out);
  }
  return 0;
}

int Copy(const std::vector<qm::PackageEntry>& entries, const std::string& from, const std::string& to) {
  std::unordered_set<std::string> made;
  std::string last_folder;
  for (const qm::PackageEntry& e : entries) {
    if (e.path == "qmsetup.ini") continue;
    if (!MakeFolders(to, e.path, &made, &last_folder)) return Fail("CreateDirectoryA", e.path);
    if (!::CopyFileA((from + e.path).c_str(), (to + e.path).c_str(), FALSE)) return Fail("CopyFileA", e.path);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "extract") != 0 && std::strcmp(argv[1], "copy") != 0)) {
    std::fprintf(stderr, "usage: floor_win extract|copy PKG DIR\n");
    return 64;
  }
  const bool copy = std::strcmp(argv[1], "copy") == 0;
  const std::string dir = argv[3];
  double begin = BenchNow();
  HANDLE package = ::CreateFileA(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (package == INVALID_HANDLE_VALUE) return Fail("CreateFileA", argv[2]);
  std::vector<qm::PackageEntry> entries;
  if (!ReadEntries(package, &entries)) return Fail("reading the directory of", argv[2]);
  int r = 0;
  if (!copy) {
    r = Extract(package, entries, dir + "\\");
  } else {
    const std::string src = dir + "\\src\\", dst = dir + "\\dst\\";
    if (!::CreateDirectoryA((dir + "\\src").c_str(), nullptr) || !::CreateDirectoryA((dir + "\\dst").c_str(), nullptr))
      return Fail("CreateDirectoryA", dir);
    r = Extract(package, entries, src);
    begin = BenchNow();
    if (r == 0) r = Copy(entries, src, dst);
  }
  const double took = BenchNow() - begin;
  ::CloseHandle(package);
  if (r == 0) std::printf("work_s %.6f\n", took);
  return r;
}

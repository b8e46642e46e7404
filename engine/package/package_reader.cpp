#include "engine/package/package_reader.h"

#include <cstdint>
#include <memory>
#include <new>

#include "base/fs.h"
#include "base/result_codes.h"
#include "base/scoped_file.h"

namespace qm {
namespace {

constexpr size_t kStreamBuffer = 64 * 1024;

// Prints one console line, then leaves |code| as the last error (printing may change it).
int PackageFail(int code, const std::string& message) {
  std::printf("%s\n", message.c_str());
  FsSetLastError(code);
  return code;
}

std::string Format(const char* format, const std::string& text) {
  std::string out(format);
  out.replace(out.find("%s"), 2, text);
  return out;
}

}  // namespace

int PackageReadEntryList(const std::string& package_path, const char* destination, std::vector<PackageEntry>* out) {
  std::printf("Get file list from qmsetup.dat  \n");
  if (!out) return PackageFail(unpack_code::kNoListPlace, "File list memory ======> error");
  ScopedFile package(FsOpen(package_path, "rb"));
  if (!package) return PackageFail(unpack_code::kOpenPackage, "Open qmsetup.dat file ======> error");
  if (std::fseek(package.get(), -4, SEEK_END) != 0) return PackageFail(unpack_code::kSeek, "Fseek file end ======> error");
  uint8_t trailer[4];
  if (std::fread(trailer, 1, 4, package.get()) != 4)
    return PackageFail(unpack_code::kReadTrailer, "Fread file list data len ======> error");
  uint32_t size = trailer[0] | (trailer[1] << 8) | (trailer[2] << 16) | (uint32_t{trailer[3]} << 24);
  // A size that cannot be a signed 32-bit distance back from the end cannot be sought to.
  if (size >= kPackageValueLimit - 4 || std::fseek(package.get(), -4 - static_cast<long>(size), SEEK_END) != 0)
    return PackageFail(unpack_code::kSeek, "Fseek file list data ======> error");
  std::unique_ptr<uint8_t[]> directory(new (std::nothrow) uint8_t[size + 1]());
  if (!directory) return PackageFail(unpack_code::kNoMemory, "Malloc memory ======> error");
  for (size_t got = 0; got < size;) {
    size_t n = std::fread(directory.get() + got, 1, size - got, package.get());
    if (n == 0) return PackageFail(unpack_code::kReadTrailer, "Fread file list data ======> error");
    got += n;
  }
  package.Reset();

  std::vector<PackageEntry> entries;
  int r = DerDecodeDirectory(directory.get(), size, &entries);
  directory.reset();
  if (r != 0) return PackageFail(r, "Decode file list data ======> error");

  std::string prefix = destination ? destination : "qmsetup\\";
  if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
  for (PackageEntry& entry : entries) {
    entry.path = prefix + entry.path;
    if (entry.path.size() > kPackagePathMax)
      return PackageFail(unpack_code::kOpenOutput, Format("Open %s file ======> error", entry.path));
  }
  *out = std::move(entries);
  std::printf("Get file list from qmsetup.dat ------> ok\n");
  return unpack_code::kOk;
}

int PackageExtractEntries(const std::string& package_path, const std::vector<PackageEntry>& entries) {
  std::printf("Analyse qmsetup.dat file \n");
  // The buffers handed to setvbuf are declared first, so the streams close before they go.
  std::unique_ptr<char[]> in_buffer(new (std::nothrow) char[kStreamBuffer]);
  std::unique_ptr<char[]> out_buffer(new (std::nothrow) char[kStreamBuffer]);
  ScopedFile package(FsOpen(package_path, "rb"));
  if (!package) return PackageFail(unpack_code::kOpenPackage, "Open qmsetup.dat file ======> error");
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[kPackageCopyChunk + 1]);
  if (!buffer || !in_buffer || !out_buffer) return PackageFail(unpack_code::kNoMemory, "Malloc memory ======> error");
  std::setvbuf(package.get(), in_buffer.get(), _IOFBF, kStreamBuffer);

  uint32_t position = 0;
  for (const PackageEntry& entry : entries) {
    if (position != entry.offset) {
      if (std::fseek(package.get(), static_cast<long>(entry.offset), SEEK_SET) != 0) {
        char message[80];
        std::snprintf(message, sizeof(message), "Fseek to qmsetup.dat offset:%d  ======> error", static_cast<int>(entry.offset));
        return PackageFail(unpack_code::kSeek, message);
      }
      position = entry.offset;
    }
    ScopedFile output(PackageOpenForWriting(entry.path, "wb"));
    if (!output) return PackageFail(unpack_code::kOpenOutput, Format("Open %s file ======> error", entry.path));
    std::setvbuf(output.get(), out_buffer.get(), _IOFBF, kStreamBuffer);
    for (uint32_t remaining = entry.length; remaining > 0;) {
      size_t want = remaining < kPackageCopyChunk ? remaining : kPackageCopyChunk;
      size_t got = std::fread(buffer.get(), 1, want, package.get());
      if (got == 0) {
        // The package ends inside this body.
        char message[80];
        std::snprintf(message, sizeof(message), "Fread qmsetup.dat offset:%d  ======> error",
                      static_cast<int>(position + (entry.length - remaining)));
        return PackageFail(unpack_code::kSeek, message);
      }
      if (std::fwrite(buffer.get(), 1, got, output.get()) != got)
        return PackageFail(unpack_code::kOpenOutput, Format("Write %s file ======> error", entry.path));
      remaining -= static_cast<uint32_t>(got);
    }
    if (!output.Reset()) return PackageFail(unpack_code::kOpenOutput, Format("Write %s file ======> error", entry.path));
    position += entry.length;
  }
  std::printf("Analyse qmsetup.dat file ------> ok\n");
  return unpack_code::kOk;
}

int PackageUnpack(const std::string& package_path, const char* destination) {
  std::vector<PackageEntry> entries;
  int r = PackageReadEntryList(package_path, destination, &entries);
  if (r != unpack_code::kOk) return r;
  return PackageExtractEntries(package_path, entries);
}

std::FILE* PackageOpenForWriting(const std::string& path, const char* mode) {
  size_t sep = path.find_last_of("\\/");
  if (sep != std::string::npos) {
    std::string folder = path.substr(0, sep);
    if (!folder.empty() && !FsCreateFolderChain(folder)) {
      std::printf("%s\n", Format("Creat %s dir ======> error ", folder).c_str());
      FsSetLastError(unpack_code::kFolderChain);
      return nullptr;
    }
  }
  return FsOpen(path, mode);
}

}  // namespace qm

#include "engine/package/package_reader.h"

#include <cstdint>
#include <memory>
#include <new>

#include "base/fs.h"
#include "base/result.h"
#include "base/scoped_file.h"

namespace qm {
namespace {

// Prints one console line, then leaves |code| as the last error (printing may change it).
UnpackResult PackageFail(UnpackResult code, const std::string& message) {
  std::printf("%s\n", message.c_str());
  FsSetLastError(ToInt(code));
  return code;
}

std::string Format(const char* format, const std::string& text) {
  std::string out(format);
  out.replace(out.find("%s"), 2, text);
  return out;
}

}  // namespace

UnpackResult PackageReadEntryList(const std::string& package_path, const char* destination,
                                  std::vector<PackageEntry>* out) {
  std::printf("Get file list from qmsetup.dat  \n");
  if (!out) return PackageFail(UnpackResult::kNoListPlace, "File list memory ======> error");
  ScopedFile package(FsOpen(package_path, "rb"));
  if (!package) return PackageFail(UnpackResult::kOpenPackage, "Open qmsetup.dat file ======> error");
  if (std::fseek(package.get(), -4, SEEK_END) != 0) return PackageFail(UnpackResult::kSeek, "Fseek file end ======> error");
  uint8_t trailer[4];
  if (std::fread(trailer, 1, 4, package.get()) != 4)
    return PackageFail(UnpackResult::kReadTrailer, "Fread file list data len ======> error");
  uint32_t size = trailer[0] | (trailer[1] << 8) | (trailer[2] << 16) | (uint32_t{trailer[3]} << 24);
  // A size that cannot be a signed 32-bit distance back from the end cannot be sought to.
  if (size >= kPackageValueLimit - 4 || std::fseek(package.get(), -4 - static_cast<long>(size), SEEK_END) != 0)
    return PackageFail(UnpackResult::kSeek, "Fseek file list data ======> error");
  std::unique_ptr<uint8_t[]> directory(new (std::nothrow) uint8_t[size + 1]());
  if (!directory) return PackageFail(UnpackResult::kNoMemory, "Malloc memory ======> error");
  for (size_t got = 0; got < size;) {
    size_t n = std::fread(directory.get() + got, 1, size - got, package.get());
    if (n == 0) return PackageFail(UnpackResult::kReadTrailer, "Fread file list data ======> error");
    got += n;
  }
  package.Reset();

  std::vector<PackageEntry> entries;
  const UnpackResult r = DerDecodeDirectory(directory.get(), size, &entries);
  directory.reset();
  if (Failed(r)) return PackageFail(r, "Decode file list data ======> error");

  std::string prefix = destination ? destination : "qmsetup\\";
  if (prefix.empty() || prefix.back() != '\\') prefix += '\\';
  for (PackageEntry& entry : entries) {
    entry.path = prefix + entry.path;
    if (entry.path.size() > kPackagePathMax)
      return PackageFail(UnpackResult::kOpenOutput, Format("Open %s file ======> error", entry.path));
  }
  *out = std::move(entries);
  std::printf("Get file list from qmsetup.dat ------> ok\n");
  return UnpackResult::kOk;
}

UnpackResult PackageExtractEntries(const std::string& package_path, const std::vector<PackageEntry>& entries) {
  std::printf("Analyse qmsetup.dat file \n");
  ScopedFile package(FsOpen(package_path, "rb"));
  if (!package) return PackageFail(UnpackResult::kOpenPackage, "Open qmsetup.dat file ======> error");
  std::unique_ptr<char[]> block(new (std::nothrow) char[kPackageReadBlock]);
  if (!block) return PackageFail(UnpackResult::kNoMemory, "Malloc memory ======> error");
  // The block is the only buffer: reads go straight into it.
  std::setvbuf(package.get(), nullptr, _IONBF, 0);

  uint32_t block_start = 0;  // the block holds the package bytes [block_start, block_end)
  uint32_t block_end = 0;
  uint32_t position = 0;  // where the stream reads next
  std::string ready_folder;
  FsOutputFile output;
  // Moves the stream to |to|; false after the console line naming |entry|'s offset.
  auto seek = [&](uint32_t to, const PackageEntry& entry) {
    if (position == to) return true;
    if (std::fseek(package.get(), static_cast<long>(to), SEEK_SET) != 0) {
      char message[80];
      std::snprintf(message, sizeof(message), "Fseek to qmsetup.dat offset:%d  ======> error", static_cast<int>(entry.offset));
      PackageFail(UnpackResult::kSeek, message);
      return false;
    }
    position = to;
    return true;
  };
  for (const PackageEntry& entry : entries) {
    // A body that does not start in the block is sought before its file is made, as always.
    const bool in_block = entry.offset >= block_start && entry.offset < block_end;
    if (!in_block && !seek(entry.offset, entry)) return UnpackResult::kSeek;
    if (!PackageOpenForWriting(entry.path, &ready_folder, &output))
      return PackageFail(UnpackResult::kOpenOutput, Format("Open %s file ======> error", entry.path));
    for (uint32_t at = entry.offset, end = entry.offset + entry.length; at < end;) {
      if (at < block_start || at >= block_end) {
        if (!seek(at, entry)) return UnpackResult::kSeek;
        size_t got = std::fread(block.get(), 1, kPackageReadBlock, package.get());
        if (got == 0) {
          // The package ends inside this body.
          char message[80];
          std::snprintf(message, sizeof(message), "Fread qmsetup.dat offset:%d  ======> error", static_cast<int>(at));
          return PackageFail(UnpackResult::kSeek, message);
        }
        block_start = position;
        block_end = position + static_cast<uint32_t>(got);
        position = block_end;
      }
      const uint32_t n = (end < block_end ? end : block_end) - at;
      if (!output.Write(block.get() + (at - block_start), n))
        return PackageFail(UnpackResult::kOpenOutput, Format("Write %s file ======> error", entry.path));
      at += n;
    }
    if (!output.Close()) return PackageFail(UnpackResult::kOpenOutput, Format("Write %s file ======> error", entry.path));
  }
  std::printf("Analyse qmsetup.dat file ------> ok\n");
  return UnpackResult::kOk;
}

UnpackResult PackageUnpack(const std::string& package_path, const char* destination) {
  std::vector<PackageEntry> entries;
  QM_RETURN_IF_FAILED(PackageReadEntryList(package_path, destination, &entries));
  return PackageExtractEntries(package_path, entries);
}

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The length of the longest part of |folder| that names |known| or a folder above it.
size_t KnownPart(const std::string& folder, const std::string& known) {
  size_t common = 0;
  const size_t n = folder.size() < known.size() ? folder.size() : known.size();
  for (size_t i = 0; i <= n; ++i) {
    const bool folder_ends = i == folder.size() || IsSeparator(folder[i]);
    const bool known_ends = i == known.size() || IsSeparator(known[i]);
    if (folder_ends && known_ends && i > 0) common = i;
    if (i == n || folder[i] != known[i]) break;
  }
  return common;
}

}  // namespace

bool PackageOpenForWriting(const std::string& path, std::string* ready_folder, FsOutputFile* out) {
  size_t sep = path.find_last_of("\\/");
  if (sep != std::string::npos && sep > 0 && path.compare(0, sep, *ready_folder) != 0) {
    std::string folder = path.substr(0, sep);
    if (!FsCreateFolderChainBelow(folder, KnownPart(folder, *ready_folder))) {
      std::printf("%s\n", Format("Creat %s dir ======> error ", folder).c_str());
      FsSetLastError(ToInt(UnpackResult::kFolderChain));
      return false;
    }
    *ready_folder = std::move(folder);
  }
  return out->Create(path);
}

}  // namespace qm

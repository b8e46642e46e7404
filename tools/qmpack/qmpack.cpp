// qmpack: builds, lists, unpacks and checks installer packages.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/fs.h"
#include "base/result.h"
#include "base/scoped_file.h"
#include "engine/package/der.h"
#include "engine/package/package_reader.h"
#include "engine/package/package_writer.h"
#include "tools/qmpack/script_check.h"

namespace {

enum class QmpackExit : int {
  kOk = 0,
  kFailed = 1,
  kUsage = 64,
};

[[maybe_unused]] constexpr const char* ResultName(QmpackExit r) {
  switch (r) {
    case QmpackExit::kOk: return "kOk";
    case QmpackExit::kFailed: return "kFailed";
    case QmpackExit::kUsage: return "kUsage";
  }
  return "not a qmpack exit code";
}

QmpackExit Usage(std::FILE* to) {
  std::fprintf(to,
               "usage: qmpack create OUT.dat DIR [--list FILE]\n"
               "       qmpack list PKG\n"
               "       qmpack extract PKG DIR\n"
               "       qmpack verify PKG\n"
               "\n"
               "create   packs every file below DIR; qmsetup.ini first, then the order of FILE\n"
               "         (one package path per line, \"\\\" between folders) or a sorted walk.\n"
               "list     prints offset, length and path of every entry.\n"
               "extract  unpacks PKG into DIR with the engine's own unpacker.\n"
               "verify   checks that the directory decodes, bodies are contiguous and inside the\n"
               "         file and the first entry is qmsetup.ini, then the script: every CHECK names a\n"
               "         file of the package, the action lists name existing chapters, every\n"
               "         placeholder is defined before its use, every command has the fields it\n"
               "         needs; each finding with its line number.\n");
  return to == stdout ? QmpackExit::kOk : QmpackExit::kUsage;
}

QmpackExit Fail(const std::string& message) {
  std::fprintf(stderr, "qmpack: %s\n", message.c_str());
  return QmpackExit::kFailed;
}

// Reads the directory without the unpacker's console lines. Empty string or a message.
std::string ReadDirectory(const std::string& package, long* file_size, uint32_t* directory_size,
                          std::vector<qm::PackageEntry>* entries) {
  qm::ScopedFile f(qm::FsOpen(package, "rb"));
  if (!f) return "cannot open " + package;
  if (std::fseek(f.get(), 0, SEEK_END) != 0) return "cannot seek in " + package;
  *file_size = std::ftell(f.get());
  if (*file_size < 4) return package + " is too short to hold a directory size";
  uint8_t trailer[4];
  if (std::fseek(f.get(), *file_size - 4, SEEK_SET) != 0 || std::fread(trailer, 1, 4, f.get()) != 4)
    return "cannot read the directory size of " + package;
  uint32_t size = trailer[0] | (trailer[1] << 8) | (trailer[2] << 16) | (uint32_t{trailer[3]} << 24);
  if (size > static_cast<unsigned long>(*file_size) - 4)
    return "directory size " + std::to_string(size) + " is larger than the file";
  std::vector<uint8_t> bytes(size);
  if (std::fseek(f.get(), *file_size - 4 - static_cast<long>(size), SEEK_SET) != 0 ||
      (size > 0 && std::fread(bytes.data(), 1, size, f.get()) != size))
    return "cannot read the directory of " + package;
  *directory_size = size;
  const qm::UnpackResult r = qm::DerDecodeDirectory(bytes.data(), size, entries);
  if (qm::Failed(r)) return "the directory does not decode (code " + std::to_string(qm::ToInt(r)) + ")";
  return std::string();
}

QmpackExit Create(int argc, char** argv) {
  if (argc != 4 && !(argc == 6 && std::strcmp(argv[4], "--list") == 0)) return Usage(stderr);
  std::vector<qm::PackSource> sources;
  const std::string out = argv[2];
  // The package may be made inside the folder it packs: it is never packed into itself.
  std::string error = qm::PackageCollect(argv[3], argc == 6 ? argv[5] : "", &sources, {out, out + qm::kPartSuffix});
  if (error.empty()) error = qm::PackageWrite(out, sources);
  if (!error.empty()) return Fail(error);
  std::printf("%s: %zu files\n", argv[2], sources.size());
  return QmpackExit::kOk;
}

// The directory of the one package list and verify take.
struct Directory {
  long size = 0;
  uint32_t directory_size = 0;
  std::vector<qm::PackageEntry> entries;
};

QmpackExit ReadPackageArgument(int argc, char** argv, Directory* d) {
  if (argc != 3) return Usage(stderr);
  const std::string error = ReadDirectory(argv[2], &d->size, &d->directory_size, &d->entries);
  return error.empty() ? QmpackExit::kOk : Fail(error);
}

QmpackExit List(int argc, char** argv) {
  Directory d;
  QM_RETURN_IF_FAILED(ReadPackageArgument(argc, argv, &d));
  for (const qm::PackageEntry& e : d.entries) std::printf("%10u %10u %s\n", e.offset, e.length, e.path.c_str());
  return QmpackExit::kOk;
}

QmpackExit Verify(int argc, char** argv) {
  Directory d;
  QM_RETURN_IF_FAILED(ReadPackageArgument(argc, argv, &d));
  const std::vector<qm::PackageEntry>& entries = d.entries;
  if (entries.empty() || entries[0].path != "qmsetup.ini") return Fail("the first entry is not qmsetup.ini");
  uint64_t expected = 0;
  for (const qm::PackageEntry& e : entries) {
    if (e.offset != expected) return Fail("body of " + e.path + " is not contiguous (offset " + std::to_string(e.offset) +
                                          ", expected " + std::to_string(expected) + ")");
    expected += e.length;
  }
  const uint64_t directory_start = static_cast<uint64_t>(d.size) - 4 - d.directory_size;
  if (expected != directory_start)
    return Fail("bodies end at " + std::to_string(expected) + " but the directory starts at " + std::to_string(directory_start));
  // The script, as the engine will run it.
  std::string script(entries[0].length, '\0');
  qm::ScopedFile f(qm::FsOpen(argv[2], "rb"));
  if (!f || std::fseek(f.get(), static_cast<long>(entries[0].offset), SEEK_SET) != 0 ||
      (!script.empty() && std::fread(&script[0], 1, script.size(), f.get()) != script.size()))
    return Fail("cannot read qmsetup.ini from " + std::string(argv[2]));
  std::vector<std::string> paths;
  for (const qm::PackageEntry& e : entries) paths.push_back(e.path);
  const std::vector<qm::ScriptFinding> findings = qm::ScriptCheck(script, paths);
  for (const qm::ScriptFinding& finding : findings)
    std::fprintf(stderr, "qmsetup.ini:%d: %s\n", finding.line, finding.message.c_str());
  if (!findings.empty()) return Fail(std::to_string(findings.size()) + " findings in the script");
  std::printf("%s: %zu entries, script checked, OK\n", argv[2], entries.size());
  return QmpackExit::kOk;
}

QmpackExit Extract(int argc, char** argv) {
  if (argc != 4) return Usage(stderr);
  const qm::UnpackResult r = qm::PackageUnpack(argv[2], argv[3]);
  if (qm::Failed(r)) return Fail("unpacking failed with code " + std::to_string(qm::ToInt(r)));
  return QmpackExit::kOk;
}

QmpackExit Run(int argc, char** argv) {
  if (argc < 2) return Usage(stderr);
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") return Usage(stdout);
  if (command == "create") return Create(argc, argv);
  if (command == "list") return List(argc, argv);
  if (command == "extract") return Extract(argc, argv);
  if (command == "verify") return Verify(argc, argv);
  std::fprintf(stderr, "qmpack: unknown command %s\n", command.c_str());
  return Usage(stderr);
}

}  // namespace

int main(int argc, char** argv) { return qm::ToInt(Run(argc, argv)); }

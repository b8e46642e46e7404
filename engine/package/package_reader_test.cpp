#include "engine/package/package_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "base/fs.h"
#include "qmsetup/results.h"
#include "tests/result_printer.h"
#include "engine/package/package_writer.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using qm::UnpackResult;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteAll(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

// A package built by hand: bodies, then |directory|, then its size.
std::string PackageBytes(const std::string& bodies, const Bytes& directory) {
  std::string out = bodies;
  out.append(directory.begin(), directory.end());
  uint32_t n = static_cast<uint32_t>(directory.size());
  for (int i = 0; i < 4; ++i) out += static_cast<char>((n >> (8 * i)) & 0xFF);
  return out;
}

// The last-error value the unpacker leaves, which callers in other binaries read as an int.
UnpackResult LastError() { return static_cast<UnpackResult>(qm::FsGetLastError()); }

qm::PackageEntry E(uint32_t offset, uint32_t length, const std::string& path) {
  qm::PackageEntry e;
  e.offset = offset;
  e.length = length;
  e.path = path;
  return e;
}

class PackageReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("qm_reader_" + std::to_string(::getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    package_ = (root_ / "pkg.dat").string();
    dest_ = (root_ / "out").string();
  }
  void TearDown() override { fs::remove_all(root_); }

  // Unpacks, returning the result; |console| gets what was printed.
  UnpackResult Unpack(const char* destination, std::string* console) {
    ::testing::internal::CaptureStdout();
    UnpackResult r = qm::PackageUnpack(package_, destination);
    *console = ::testing::internal::GetCapturedStdout();
    return r;
  }

  fs::path root_;
  std::string package_;
  std::string dest_;
};

TEST_F(PackageReaderTest, UnpacksFrontToBackWithTheConsoleLines) {
  WriteAll(package_, PackageBytes("[FILES]\nabcdefXY", qm::DerEncodeDirectory({E(0, 8, "qmsetup.ini"), E(8, 6, "a\\b\\c.ext"),
                                                                               E(14, 0, "empty.txt"), E(14, 2, "d/e.bin")})));
  std::string console;
  ASSERT_EQ(Unpack(dest_.c_str(), &console), UnpackResult::kOk);
  EXPECT_EQ(console,
            "Get file list from qmsetup.dat  \nGet file list from qmsetup.dat ------> ok\n"
            "Analyse qmsetup.dat file \nAnalyse qmsetup.dat file ------> ok\n");
  EXPECT_EQ(ReadAll(root_ / "out/qmsetup.ini"), "[FILES]\n");
  EXPECT_EQ(ReadAll(root_ / "out/a/b/c.ext"), "abcdef");
  EXPECT_TRUE(fs::is_regular_file(root_ / "out/empty.txt"));
  EXPECT_EQ(fs::file_size(root_ / "out/empty.txt"), 0u);
  EXPECT_EQ(ReadAll(root_ / "out/d/e.bin"), "XY");
}

TEST_F(PackageReaderTest, BodiesInAnyOrderAreFoundBySeeking) {
  WriteAll(package_, PackageBytes("0123456789", qm::DerEncodeDirectory({E(6, 4, "late"), E(0, 3, "early"), E(3, 3, "mid")})));
  std::string console;
  ASSERT_EQ(Unpack(dest_.c_str(), &console), UnpackResult::kOk);
  EXPECT_EQ(ReadAll(root_ / "out/late"), "6789");
  EXPECT_EQ(ReadAll(root_ / "out/early"), "012");
  EXPECT_EQ(ReadAll(root_ / "out/mid"), "345");
}

TEST_F(PackageReaderTest, LargeBodyCrossesManyCopyChunks) {
  std::string body;
  for (int i = 0; i < 10000; ++i) body += static_cast<char>(i * 31 + (i >> 8));
  WriteAll(package_, PackageBytes(body, qm::DerEncodeDirectory({E(0, static_cast<uint32_t>(body.size()), "big.bin")})));
  std::string console;
  ASSERT_EQ(Unpack(dest_.c_str(), &console), UnpackResult::kOk);
  EXPECT_EQ(ReadAll(root_ / "out/big.bin"), body);
}

TEST_F(PackageReaderTest, BodiesLargerThanTheReadBlockAndBetweenBlocks) {
  // Bodies that start in one read block and end in the next, and one that spans three.
  std::string bodies;
  std::vector<qm::PackageEntry> entries;
  const size_t sizes[] = {qm::kPackageReadBlock - 5, 10, 2 * qm::kPackageReadBlock + 7, 0, 3};
  for (size_t i = 0; i < sizeof(sizes) / sizeof(sizes[0]); ++i) {
    std::string body(sizes[i], '\0');
    for (size_t k = 0; k < body.size(); ++k) body[k] = static_cast<char>((k * 7 + i * 13) ^ (k >> 10));
    entries.push_back(E(static_cast<uint32_t>(bodies.size()), static_cast<uint32_t>(body.size()), "f" + std::to_string(i)));
    bodies += body;
  }
  WriteAll(package_, PackageBytes(bodies, qm::DerEncodeDirectory(entries)));
  std::string console;
  ASSERT_EQ(Unpack(dest_.c_str(), &console), UnpackResult::kOk);
  for (const qm::PackageEntry& e : entries)
    EXPECT_EQ(ReadAll(root_ / "out" / e.path), bodies.substr(e.offset, e.length)) << e.path;
}

TEST_F(PackageReaderTest, EmptyBodyElsewhereThenABodyThatCrossesTheBlock) {
  // The empty entry's offset is far from the rest; the next body, in the block already, runs on
  // past its end and must be read on from there.
  std::string bodies(qm::kPackageReadBlock + 100, '\0');
  for (size_t k = 0; k < bodies.size(); ++k) bodies[k] = static_cast<char>(k % 251);
  const uint32_t n = static_cast<uint32_t>(bodies.size());
  WriteAll(package_, PackageBytes(bodies, qm::DerEncodeDirectory({E(0, 10, "a"), E(n, 0, "empty"), E(10, n - 10, "b")})));
  std::string console;
  ASSERT_EQ(Unpack(dest_.c_str(), &console), UnpackResult::kOk);
  EXPECT_EQ(ReadAll(root_ / "out/a"), bodies.substr(0, 10));
  EXPECT_EQ(fs::file_size(root_ / "out/empty"), 0u);
  EXPECT_EQ(ReadAll(root_ / "out/b"), bodies.substr(10));
}

TEST_F(PackageReaderTest, BodyRunningPastTheEndKeepsWhatWasThere) {
  // The body starts inside the file and ends past it: the file gets the bytes up to the end, and
  // the console names the first offset that could not be read.
  const std::string bodies = "0123456789";
  const Bytes directory = qm::DerEncodeDirectory({E(0, 4, "a"), E(6, 100, "b"), E(0, 1, "c")});
  const std::string bytes = PackageBytes(bodies, directory);
  WriteAll(package_, bytes);
  std::string console;
  EXPECT_EQ(Unpack(dest_.c_str(), &console), UnpackResult::kSeek);
  EXPECT_EQ(LastError(), UnpackResult::kSeek);
  EXPECT_EQ(ReadAll(root_ / "out/a"), "0123");
  EXPECT_EQ(ReadAll(root_ / "out/b"), bytes.substr(6)) << "the rest of the file, directory and size included";
  EXPECT_FALSE(fs::exists(root_ / "out/c"));
  EXPECT_EQ(console.substr(console.rfind("Fread")),
            "Fread qmsetup.dat offset:" + std::to_string(bytes.size()) + "  ======> error\n");
}

TEST_F(PackageReaderTest, FilesGoBackAndForthBetweenFolders) {
  WriteAll(package_, PackageBytes("abcdef", qm::DerEncodeDirectory({E(0, 1, "x\\a"), E(1, 1, "x\\y\\b"), E(2, 1, "x\\c"),
                                                                        E(3, 1, "z\\y\\d"), E(4, 1, "x\\y\\w\\e"), E(5, 1, "f")})));
  std::string console;
  ASSERT_EQ(Unpack(dest_.c_str(), &console), UnpackResult::kOk);
  EXPECT_EQ(ReadAll(root_ / "out/x/a"), "a");
  EXPECT_EQ(ReadAll(root_ / "out/x/y/b"), "b");
  EXPECT_EQ(ReadAll(root_ / "out/x/c"), "c");
  EXPECT_EQ(ReadAll(root_ / "out/z/y/d"), "d");
  EXPECT_EQ(ReadAll(root_ / "out/x/y/w/e"), "e");
  EXPECT_EQ(ReadAll(root_ / "out/f"), "f");
}

TEST_F(PackageReaderTest, FileWhereTheNextEntryNeedsAFolder) {
  // "x\y" is unpacked as a file. For "x\y\z" its folder exists, as a file, which passes the
  // folder check as it always did; the file itself cannot be made.
  WriteAll(package_, PackageBytes("ab", qm::DerEncodeDirectory({E(0, 1, "x\\y"), E(1, 1, "x\\y\\z")})));
  std::string console;
  EXPECT_EQ(Unpack(dest_.c_str(), &console), UnpackResult::kOpenOutput);
  EXPECT_EQ(LastError(), UnpackResult::kOpenOutput);
  const std::string file = dest_ + "\\x\\y";
  EXPECT_NE(console.find("\nOpen " + file + "\\z file ======> error\n"), std::string::npos) << console;
  EXPECT_EQ(console.find("Creat "), std::string::npos) << "an existing path passes as a folder, as before";
}

TEST_F(PackageReaderTest, DestinationWithOrWithoutTrailingBackslash) {
  WriteAll(package_, PackageBytes("x", qm::DerEncodeDirectory({E(0, 1, "f")})));
  for (const std::string& d : {dest_, dest_ + "\\"}) {
    std::vector<qm::PackageEntry> entries;
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(qm::PackageReadEntryList(package_, d.c_str(), &entries), UnpackResult::kOk);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(entries[0].path, dest_ + "\\f");
  }
}

TEST_F(PackageReaderTest, NoDestinationUsesQmsetupBelowTheCurrentFolder) {
  WriteAll(package_, PackageBytes("x", qm::DerEncodeDirectory({E(0, 1, "f")})));
  fs::path previous = fs::current_path();
  fs::current_path(root_);
  std::string console;
  UnpackResult r = Unpack(nullptr, &console);
  fs::current_path(previous);
  ASSERT_EQ(r, UnpackResult::kOk);
  EXPECT_EQ(ReadAll(root_ / "qmsetup/f"), "x");
}

TEST_F(PackageReaderTest, EmptyDirectoryCreatesNothing) {
  WriteAll(package_, PackageBytes("", qm::DerEncodeDirectory({})));
  std::string console;
  ASSERT_EQ(Unpack(dest_.c_str(), &console), UnpackResult::kOk);
  EXPECT_FALSE(fs::exists(dest_));
}

struct FailureCase {
  const char* name;
  std::string package;  // empty: no file at all
  UnpackResult code;
  std::string last_line;  // the last console line, %s standing for the package or output path
};

TEST_F(PackageReaderTest, FailureTable) {
  const std::string three = PackageBytes("abc", qm::DerEncodeDirectory({E(0, 3, "f")}));
  std::string too_long_trailer = three;
  too_long_trailer[too_long_trailer.size() - 4] = static_cast<char>(0xF0);
  Bytes bad = qm::DerEncodeDirectory({E(0, 3, "f")});
  bad[1] -= 1;
  const FailureCase rows[] = {
      {"no package", "", UnpackResult::kOpenPackage, "Open qmsetup.dat file ======> error"},
      {"shorter than the trailer", "ab", UnpackResult::kSeek, "Fseek file end ======> error"},
      {"directory larger than the file", too_long_trailer, UnpackResult::kSeek, "Fseek file list data ======> error"},
      {"malformed directory", PackageBytes("abc", bad), UnpackResult::kMalformed, "Decode file list data ======> error"},
      {"traversal", PackageBytes("abc", qm::DerEncodeDirectory({E(0, 3, "..\\f")})), UnpackResult::kMalformed,
       "Decode file list data ======> error"},
      {"device name", PackageBytes("abc", qm::DerEncodeDirectory({E(0, 0, "first"), E(0, 3, "sub\\NUL.txt")})),
       UnpackResult::kMalformed, "Decode file list data ======> error"},
      {"stream", PackageBytes("abc", qm::DerEncodeDirectory({E(0, 3, "f:s")})), UnpackResult::kMalformed,
       "Decode file list data ======> error"},
      {"body past the end of the package", PackageBytes("abc", qm::DerEncodeDirectory({E(0, 3, "f"), E(1000, 5, "g")})),
       UnpackResult::kSeek, "Fread qmsetup.dat offset:1000  ======> error"},
  };
  for (const FailureCase& c : rows) {
    fs::remove(package_);
    if (!c.package.empty()) WriteAll(package_, c.package);
    std::string console;
    EXPECT_EQ(Unpack(dest_.c_str(), &console), c.code) << c.name;
    EXPECT_EQ(LastError(), c.code) << c.name;
    ASSERT_GE(console.size(), 1u) << c.name;
    console.pop_back();
    EXPECT_EQ(console.substr(console.rfind('\n') + 1), c.last_line) << c.name;
  }
  EXPECT_FALSE(fs::exists(root_ / "f")) << "nothing is written outside the destination";
  EXPECT_FALSE(fs::exists(fs::path(dest_) / "first")) << "a rejected directory writes nothing at all";
}

TEST_F(PackageReaderTest, TrailerThatCannotBeReadIs6) {
  // A device seeks anywhere and reads nothing: the length trailer never arrives.
  std::vector<qm::PackageEntry> entries;
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(qm::PackageReadEntryList("/dev/null", dest_.c_str(), &entries), UnpackResult::kReadTrailer);
  EXPECT_EQ(LastError(), UnpackResult::kReadTrailer);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Get file list from qmsetup.dat  \nFread file list data len ======> error\n");
}

TEST_F(PackageReaderTest, NoPlaceForTheListIs17) {
  WriteAll(package_, PackageBytes("x", qm::DerEncodeDirectory({E(0, 1, "f")})));
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(qm::PackageReadEntryList(package_, dest_.c_str(), nullptr), UnpackResult::kNoListPlace);
  EXPECT_EQ(LastError(), UnpackResult::kNoListPlace);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Get file list from qmsetup.dat  \nFile list memory ======> error\n");
}

TEST_F(PackageReaderTest, FolderThatCannotBeCreatedIs3) {
  WriteAll(package_, PackageBytes("xy", qm::DerEncodeDirectory({E(0, 1, "ok"), E(1, 1, "blocked\\sub\\f")})));
  WriteAll(root_ / "out/blocked", "a file where a folder is needed");
  std::string console;
  EXPECT_EQ(Unpack(dest_.c_str(), &console), UnpackResult::kOpenOutput);
  EXPECT_EQ(LastError(), UnpackResult::kOpenOutput);
  const std::string folder = dest_ + "\\blocked\\sub";
  EXPECT_NE(console.find("Creat " + folder + " dir ======> error \nOpen " + folder + "\\f file ======> error\n"),
            std::string::npos)
      << console;
  EXPECT_EQ(ReadAll(root_ / "out/ok"), "x") << "files before the failure stay";
}

TEST_F(PackageReaderTest, FullPathOver259BytesIs3BeforeAnythingIsWritten) {
  std::string name(259 - dest_.size() - 1, 'n');  // exactly 259 with the "\"
  WriteAll(package_, PackageBytes("xy", qm::DerEncodeDirectory({E(0, 1, "a"), E(1, 1, name)})));
  std::string console;
  EXPECT_EQ(Unpack(dest_.c_str(), &console), UnpackResult::kOk) << "259 bytes fit";
  WriteAll(package_, PackageBytes("xy", qm::DerEncodeDirectory({E(0, 1, "b"), E(1, 1, name + "n")})));
  EXPECT_EQ(Unpack(dest_.c_str(), &console), UnpackResult::kOpenOutput);
  EXPECT_FALSE(fs::exists(root_ / "out/b"));
}

TEST_F(PackageReaderTest, ExistingFilesAreOverwrittenAndOthersLeftAlone) {
  WriteAll(root_ / "out/f", "old longer content");
  WriteAll(root_ / "out/other", "mine");
  WriteAll(package_, PackageBytes("new", qm::DerEncodeDirectory({E(0, 3, "f")})));
  std::string console;
  ASSERT_EQ(Unpack(dest_.c_str(), &console), UnpackResult::kOk);
  EXPECT_EQ(ReadAll(root_ / "out/f"), "new");
  EXPECT_EQ(ReadAll(root_ / "out/other"), "mine");
}

TEST_F(PackageReaderTest, FolderChainCreatesOnlyMissingLevels) {
  const std::string chain = (root_ / "x").string() + "\\y/z";
  EXPECT_TRUE(qm::FsCreateFolderChain(chain));
  EXPECT_TRUE(fs::is_directory(root_ / "x/y/z"));
  EXPECT_TRUE(qm::FsCreateFolderChain(chain)) << "an existing chain succeeds";
  EXPECT_TRUE(qm::FsCreateFolderChain(chain + "\\"));
  WriteAll(root_ / "file", "");
  EXPECT_FALSE(qm::FsCreateFolderChain((root_ / "file").string() + "\\sub"));
}

TEST_F(PackageReaderTest, FolderChainBelowAKnownFolder) {
  const std::string known = (root_ / "k").string();
  fs::create_directories(root_ / "k");
  const std::string chain = known + "\\p\\q";
  EXPECT_TRUE(qm::FsCreateFolderChainBelow(chain, known.size()));
  EXPECT_TRUE(fs::is_directory(root_ / "k/p/q"));
  WriteAll(root_ / "k/file", "");
  EXPECT_FALSE(qm::FsCreateFolderChainBelow(known + "\\file\\sub", known.size()));
  EXPECT_TRUE(qm::FsCreateFolderChainBelow(known + "\\file", known.size())) << "an existing path passes";
}

}  // namespace

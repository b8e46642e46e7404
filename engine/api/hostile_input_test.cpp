// Malformed packages and scripts through the real engine: always a clear code, never a crash, a
// hang or a file written outside the engine's folder.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/win/engine_fixture.h"
#include "tests/win/test_support.h"
#include "engine/package/package_writer.h"

namespace {

using Lines = std::vector<std::string>;

Lines Tree(const std::string& folder) { return qmtest::ListTree(folder, true); }

std::string Bytes(const std::vector<uint8_t>& v) { return std::string(v.begin(), v.end()); }

// A package of |body| followed by a directory of |entries| and its size.
std::string RawPackage(const std::string& body, const std::vector<qm::PackageEntry>& entries) {
  std::string directory = Bytes(qm::DerEncodeDirectory(entries));
  uint32_t n = static_cast<uint32_t>(directory.size());
  return body + directory + std::string(reinterpret_cast<const char*>(&n), 4);
}

qm::PackageEntry E(uint32_t offset, uint32_t length, const std::string& path) {
  qm::PackageEntry e;
  e.offset = offset;
  e.length = length;
  e.path = path;
  return e;
}

class HostileInputTest : public qmtest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    temp_before_ = Tree(qmtest::TempPath().substr(0, qmtest::TempPath().size() - 1));
  }
  void TearDown() override {
    EngineTest::TearDown();
    // Nothing of ours is left anywhere in the Temp folder.
    Lines after = Tree(qmtest::TempPath().substr(0, qmtest::TempPath().size() - 1));
    Lines added;
    std::set_difference(after.begin(), after.end(), temp_before_.begin(), temp_before_.end(), std::back_inserter(added));
    EXPECT_EQ(added, Lines{}) << "written outside the engine's folder";
  }
  // Prepare on the raw package |bytes| in a fresh engine; the engine's folder afterwards must hold
  // only the engine, the package and what lies below the unpack folder.
  int PrepareRaw(const std::string& bytes) {
    Unload();
    qmtest::DeleteTree(unpack_);
    EXPECT_TRUE(qmtest::WriteFileBytes(folder_ + "\\KX2.dat", bytes));
    Load();
    int r = engine_.prepare("KX2.dat");
    for (const std::string& entry : Tree(folder_))
      EXPECT_TRUE(entry == "QMSetup.dll" || entry == "KX2.dat" || entry.compare(0, 3, "KX2") == 0) << entry;
    return r;
  }
  int PrepareScript(const std::string& script) {
    Unload();
    qmtest::DeleteTree(unpack_);
    Package({{"qmsetup.ini", script}});
    Load();
    return engine_.prepare("KX2.dat");
  }
  Lines temp_before_;
};

TEST_F(HostileInputTest, MalformedPackagesAre11) {
  const std::string three = RawPackage("abc", {E(0, 3, "f")});
  std::string bad_trailer = three;
  bad_trailer[bad_trailer.size() - 1] = '\x7f';
  std::string bad_der = RawPackage("abc", {E(0, 3, "f")});
  bad_der[3] = 0x31;
  const std::pair<const char*, std::string> rows[] = {
      {"empty file", ""},
      {"shorter than its trailer", "ab"},
      {"directory larger than the file", bad_trailer},
      {"malformed directory", bad_der},
      {"traversal", RawPackage("abc", {E(0, 3, "..\\..\\evil.txt")})},
      {"traversal with dots and blanks", RawPackage("abc", {E(0, 3, "sub\\... \\evil.txt")})},
      {"absolute path", RawPackage("abc", {E(0, 3, "C:\\evil.txt")})},
      {"leading separator", RawPackage("abc", {E(0, 3, "\\evil.txt")})},
      {"device", RawPackage("abc", {E(0, 3, "sub\\COM1.txt")})},
      {"stream", RawPackage("abc", {E(0, 3, "f.txt:evil")})},
      {"over-long path", RawPackage("abc", {E(0, 3, std::string(250, 'p'))})},
      {"body past the end", RawPackage("abc", {E(0, 3, "f"), E(100000, 10, "g")})},
      {"huge length", RawPackage("abc", {E(0, 0x7FFFFFF0u, "f")})},
      {"no script", RawPackage("abc", {E(0, 3, "f")})},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.first);
    EXPECT_EQ(PrepareRaw(row.second), std::string(row.first) == "no script" ? 4 : 11);
  }
}

TEST_F(HostileInputTest, MalformedScriptsFailWithTheirCodes) {
  const std::string head = "[FILES]\r\n[COMMON]\r\n";
  std::string growth = head + "VAR {B} \"xxxxxxxxxx\"\r\n";
  for (char c = 'C'; c <= 'H'; ++c) {
    std::string ten;
    for (int i = 0; i < 10; ++i) ten += std::string("{") + static_cast<char>(c - 1) + "}";
    growth += std::string("VAR {") + c + "} \"" + ten + "\"\r\n";
  }
  const std::pair<std::string, int> rows[] = {
      {head + "VAR {A} \"{A}x\"\r\n", 5},  // refers to itself before it exists
      {growth, 5},                         // grows tenfold a line until the limit
      {head + "VAR {A} x\r\n", 2},
      {head + "VAR A \"x\"\r\n", 2},
      {head + "DEF INSTALLERRSTOP\r\n", 2},
      {"[FILES]\r\nCHECK x\r\n[COMMON]\r\n", 2},
      {head + "COPY x, y, UPDATE\r\n", 2},
      {head + "COPY \"a\", \"..\\..\\evil.txt\", OVERWRITE\r\n", 2},  // relative target
      {head + "DEL x\r\n", 2},
      {head + "DEL \"evil.txt\", FORCE\r\n", 2},
      {head + "RUN x\r\n", 2},
      {head + "RUN \"C:\\windows\\system32\\cmd.exe\", \"" + std::string(300, 'p') + "\", WAIT\r\n", 2},
      {head + "CALL x\r\n", 2},
      {head + "CALLIF \"C:\\x.dll\", , \"\"\r\n", 4},
      {head + "VAR {X} \"" + std::string(1 << 20, 'x') + "\"\r\n", 0},  // one 1 MB line is just long
      {head + "[" + std::string(1 << 20, 'c') + "]\r\n", 0},
      {head + "COPY \"" + std::string(1 << 20, 'c') + "\", \"C:\\x\", OVERWRITE\r\n", 2},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.first.substr(0, 120));
    EXPECT_EQ(PrepareScript(row.first), row.second);
  }
}

TEST_F(HostileInputTest, FiftyMegabyteScript) {
  std::string script = "[FILES]\r\n[COMMON]\r\nVAR {A} \"a\"\r\n[big]\r\n";
  const std::string line = "CHECK \"" + std::string(40, 'n') + "\"\r\n";
  while (script.size() < (50u << 20)) script += "; " + std::string(46, 'c') + "\r\n" + line;
  script += "[tail]\r\nCHECK \"qmsetup.ini\"\r\n";
  const DWORD start = ::GetTickCount();
  EXPECT_EQ(PrepareScript(script), 0);
  EXPECT_EQ(engine_.do_step("tail"), 0);
  EXPECT_EQ(engine_.do_step("big"), 4) << "stops at its first missing file";
  EXPECT_LT(::GetTickCount() - start, 60000u);
}

}  // namespace

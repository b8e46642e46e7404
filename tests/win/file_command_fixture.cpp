#include "tests/win/file_command_fixture.h"

#include <windows.h>
#include <shlwapi.h>

#include "base/win/reg_key.h"
#include "tests/win/test_support.h"

namespace qmtest {

void FileCommandTest::SetUp() {
  EngineTest::SetUp();
  dest_ = folder_ + "\\dest";
  ::CreateDirectoryA(dest_.c_str(), nullptr);
}

void FileCommandTest::TearDown() {
  current_folder_.reset();
  if (!decoy_.empty()) ::DeleteFileA(decoy_.c_str());
  EngineTest::TearDown();
}

void FileCommandTest::DecoyInHostFolder(const std::string& name, const std::string& real) {
  ASSERT_TRUE(WriteFileBytes(dest_ + "\\" + name, real));
  decoy_ = BinFolder() + "\\" + name;
  ASSERT_TRUE(WriteFileBytes(decoy_, "a file of the same name in the host's folder"));
  current_folder_ = std::make_unique<CurrentFolder>(dest_);
}

void FileCommandTest::Prepare(const std::string& chapters, const PackageFiles& payload) {
  std::string script = std::string("[FILES]\r\n[COMMON]\r\nVAR {PRODUCT_GUID} \"") + kTestProduct +
                       "\"\r\nVAR {COMPANY_GUID} \"C0_TEST\"\r\nVAR {PRODUCT_VER} \"1.0\"\r\nVAR {DEST} \"" + dest_ +
                       "\"\r\n" + chapters;
  PackageFiles files = {{"qmsetup.ini", script}};
  files.insert(files.end(), payload.begin(), payload.end());
  Package(files);
  Load();
  ASSERT_EQ(engine_.prepare("KX2.dat"), 0);
}

std::string FileCommandTest::Payload(const std::string& name) {
  if (name == "text") return "plain text payload\r\n";
  std::string bytes = ReadFileBytes(BinFolder() + "\\" + name + ".dll");
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

int FileCommandTest::Step(const std::string& chapter) {
  MarkLog();
  return engine_.do_step(chapter.c_str());
}

Lines FileCommandTest::Body() const {
  Lines lines = NewLogLines();
  if (lines.size() >= 2) lines.erase(lines.begin(), lines.begin() + 2);
  if (!lines.empty() && (lines.back() == "<====Ending to DoStep:" || lines.back().compare(0, 11, "Return Err:") == 0))
    lines.pop_back();
  return lines;
}

int FileCommandTest::Count(const std::string& path) {
  qm::RegKey refs;
  DWORD count = 0;
  if (refs.Open(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Ref", KEY_READ) != ERROR_SUCCESS ||
      refs.ReadCount(path.c_str(), &count) != qm::RegCount::kPresent)
    return 0;
  return static_cast<int>(count);
}

void FileCommandTest::StoreCount(const std::string& path, int count, bool only) {
  if (only) ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\QMSrv");
  if (count < 0) return;
  qm::RegKey refs;
  refs.Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Ref");
  refs.WriteDword(path.c_str(), static_cast<DWORD>(count));
}

int FileCommandTest::FinishCode() {
  qm::RegKey products;
  products.Create(HKEY_LOCAL_MACHINE, "Software\\QMSrv\\Product");
  products.WriteDword(kTestProduct, 1);
  engine_.is_install("UNINSTALL");  // removal never asks for a restart by itself
  return engine_.finish();
}

Lines FileCommandTest::Subst(const Lines& lines, const std::string& first, const std::string& second) {
  Lines out;
  for (std::string line : lines) {
    for (const char* key : {"{S}", "{U}", "{T}", "{D}"}) {
      const std::string& value = (key[1] == 'S' || key[1] == 'U') ? first : second;
      for (size_t at; (at = line.find(key)) != std::string::npos;) line.replace(at, 3, value);
    }
    out.push_back(line);
  }
  return out;
}

}  // namespace qmtest

#include "engine/package/der.h"

#include <gtest/gtest.h>

#include "qmsetup/results.h"
#include "tests/result_printer.h"
#include "engine/package/package_writer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using qm::UnpackResult;

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Tlv(uint8_t id, const Bytes& content) {
  Bytes out{id};
  Bytes len = qm::DerEncodeLength(content.size());
  out.insert(out.end(), len.begin(), len.end());
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

Bytes Str(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes Entry(const Bytes& offset, const Bytes& length, const Bytes& path) { return Tlv(0x30, Cat({offset, length, path})); }

Bytes OneEntryDirectory(const Bytes& entry) { return Tlv(0x30, entry); }

UnpackResult Decode(const Bytes& directory, std::vector<qm::PackageEntry>* out) {
  return qm::DerDecodeDirectory(directory.data(), directory.size(), out);
}

TEST(DerDecode, RoundTripsWhatTheWriterWrites) {
  std::vector<qm::PackageEntry> in(300);
  for (size_t i = 0; i < in.size(); ++i) {
    in[i].offset = static_cast<uint32_t>(i * 1000);
    in[i].length = static_cast<uint32_t>(i * 7 + 128);
    in[i].path = "dir" + std::to_string(i % 3) + "\\file" + std::to_string(i) + ".dll";
  }
  Bytes directory = qm::DerEncodeDirectory(in);
  EXPECT_EQ(directory[0], 0x30);
  EXPECT_EQ(directory[1], 0x82) << "a directory this size uses two length octets";
  std::vector<qm::PackageEntry> out;
  ASSERT_EQ(Decode(directory, &out), UnpackResult::kOk);
  ASSERT_EQ(out.size(), in.size());
  for (size_t i = 0; i < in.size(); ++i) {
    EXPECT_EQ(out[i].offset, in[i].offset);
    EXPECT_EQ(out[i].length, in[i].length);
    EXPECT_EQ(out[i].path, in[i].path);
  }
}

TEST(DerDecode, EmptyOuterSequenceIsAnEmptyList) {
  std::vector<qm::PackageEntry> out(1);
  ASSERT_EQ(Decode({0x30, 0x00}, &out), UnpackResult::kOk);
  EXPECT_TRUE(out.empty());
}

TEST(DerDecode, NoPlaceForTheListIs16) {
  Bytes d{0x30, 0x00};
  EXPECT_EQ(qm::DerDecodeDirectory(d.data(), d.size(), nullptr), UnpackResult::kDecodeNoMemory);
}

struct IntegerCase {
  Bytes encoded;
  UnpackResult result;
  uint32_t value;
};

TEST(DerDecode, IntegerRules) {
  const IntegerCase rows[] = {
      {{0x02, 0x02, 0x00, 0x80}, UnpackResult::kOk, 128},
      {{0x02, 0x01, 0x80}, UnpackResult::kOk, 128},  // no sign is applied
      {{0x02, 0x01, 0x00}, UnpackResult::kOk, 0},
      {{0x02, 0x01, 0x7F}, UnpackResult::kOk, 127},
      {{0x02, 0x03, 0x01, 0x00, 0x00}, UnpackResult::kOk, 65536},
      {{0x04, 0x01, 0x05}, UnpackResult::kOk, 5},                          // the identifier is not checked
      {{0x02, 0x05, 0x01, 0x00, 0x00, 0x00, 0x05}, UnpackResult::kOk, 5},  // a fifth octet pushes the first out
      {{0x02, 0x00}, UnpackResult::kMalformed, 0},                          // no content
      {{0x02, 0x04, 0x80, 0x00, 0x00, 0x00}, UnpackResult::kMalformed, 0},  // 2^31: not a signed file offset
  };
  for (const IntegerCase& c : rows) {
    std::vector<qm::PackageEntry> out;
    Bytes d = OneEntryDirectory(Entry(c.encoded, {0x02, 0x01, 0x00}, Tlv(0x13, Str("a"))));
    ASSERT_EQ(Decode(d, &out), c.result) << ::testing::PrintToString(c.encoded);
    if (c.result == UnpackResult::kOk) EXPECT_EQ(out[0].offset, c.value);
  }
}

TEST(DerDecode, PathElementForms) {
  const std::pair<Bytes, std::string> rows[] = {
      {Tlv(0x13, Str("x\\y.dll")), "x\\y.dll"},           // PrintableString
      {Tlv(0x0C, Str("utf8.txt")), "utf8.txt"},           // UTF8String
      {Tlv(0x16, Str("ia5.txt")), "ia5.txt"},             // IA5String
      {Tlv(0x03, Str(std::string("\0bits.txt", 9))), "bits.txt"},    // BIT STRING: unused-bits octet dropped
      {Tlv(0x02, Cat({{0x00, 0xC1}, Str("b")})), "\xC1" "b"},  // tag 2: 0x00 before a high octet dropped
      {Tlv(0x02, Cat({{0x00, 0x41}})), std::string("\0A", 2).substr(0, 0)},  // kept, then cut at NUL
      {Tlv(0x13, Str("")), ""},
  };
  for (const auto& row : rows) {
    std::vector<qm::PackageEntry> out;
    ASSERT_EQ(Decode(OneEntryDirectory(Entry({0x02, 0x01, 0x00}, {0x02, 0x01, 0x00}, row.first)), &out),
              UnpackResult::kOk)
        << row.second;
    EXPECT_EQ(out[0].path, row.second);
  }
}

TEST(DerDecode, MalformedDirectoriesFailWith19) {
  const Bytes ok_entry = Entry({0x02, 0x01, 0x00}, {0x02, 0x01, 0x01}, Tlv(0x13, Str("a")));
  Bytes stated_one_less = OneEntryDirectory(ok_entry);
  stated_one_less[1] -= 1;
  Bytes trailing_byte = OneEntryDirectory(ok_entry);
  trailing_byte.push_back(0x00);
  const std::pair<const char*, Bytes> rows[] = {
      {"empty directory", {}},
      {"one byte", {0x30}},
      {"outer not a SEQUENCE", Tlv(0x31, ok_entry)},
      {"outer with the top bit set", Tlv(0xB0, ok_entry)},
      {"outer length one less than the directory", stated_one_less},
      {"bytes after the outer SEQUENCE", trailing_byte},
      {"five length octets", {0x30, 0x85, 0, 0, 0, 0, 0}},
      {"indefinite length", {0x30, 0x80, 0x00, 0x00}},
      {"high-tag-number form", {0x3F, 0x00}},
      {"length octets cut off", {0x30, 0x82, 0x00}},
      {"entry not a SEQUENCE", OneEntryDirectory(Tlv(0x31, Cat({{0x02, 0x01, 0x00}, {0x02, 0x01, 0x00}, Tlv(0x13, Str("a"))})))},
      {"entry with two elements", OneEntryDirectory(Tlv(0x30, Cat({{0x02, 0x01, 0x00}, {0x02, 0x01, 0x00}})))},
      {"child running past its entry", OneEntryDirectory(Tlv(0x30, Cat({{0x02, 0x01, 0x00}, {0x02, 0x01, 0x00}, {0x13, 0x05, 'a'}})))},
      {"entry running past the outer", Cat({{0x30, 0x03}, {0x30, 0x09, 0x02, 0x01}})},
      {"path of 260 bytes", OneEntryDirectory(Entry({0x02, 0x01, 0x00}, {0x02, 0x01, 0x00}, Tlv(0x13, Bytes(260, 'a'))))},
      {"offset plus length past 2 GiB",
       OneEntryDirectory(Entry({0x02, 0x04, 0x7F, 0xFF, 0xFF, 0xFF}, {0x02, 0x01, 0x01}, Tlv(0x13, Str("a"))))},
  };
  for (const auto& row : rows) {
    std::vector<qm::PackageEntry> out(1);
    EXPECT_EQ(Decode(row.second, &out), UnpackResult::kMalformed) << row.first;
    EXPECT_EQ(out.size(), 1u) << row.first << ": the out-parameter is untouched on failure";
  }
}

TEST(DerDecode, AcceptsLongFormsAndExtraEntryElements) {
  const Bytes path = Tlv(0x13, Str("a"));
  Bytes long_form = {0x30, 0x81, 0x0C, 0x30, 0x0A, 0x02, 0x01, 0x00, 0x02, 0x82, 0x00, 0x01, 0x07, 0x13, 0x01, 'a'};
  long_form[2] = static_cast<uint8_t>(long_form.size() - 3);
  long_form[4] = static_cast<uint8_t>(long_form.size() - 5);
  std::vector<qm::PackageEntry> out;
  ASSERT_EQ(Decode(long_form, &out), UnpackResult::kOk);
  EXPECT_EQ(out[0].length, 7u);
  ASSERT_EQ(Decode(OneEntryDirectory(Tlv(0x30, Cat({{0x02, 0x01, 0x03}, {0x02, 0x01, 0x04}, path, {0x05, 0x00}}))), &out),
            UnpackResult::kOk);
  EXPECT_EQ(out[0].offset, 3u);
  Bytes path_259 = Tlv(0x13, Bytes(259, 'a'));
  ASSERT_EQ(Decode(OneEntryDirectory(Entry({0x02, 0x01, 0x00}, {0x02, 0x01, 0x00}, path_259)), &out),
            UnpackResult::kOk);
  EXPECT_EQ(out[0].path.size(), 259u);
}

TEST(DerDecode, PathsThatLeaveTheUnpackFolderOrNameADeviceAreRejected) {
  const char* rejected[] = {"..\\evil.dll", "a\\..\\..\\b", "a/../b", "..", "sub\\..", "\\windows\\x.dll",
                            "/etc/passwd", "C:\\x.dll",   "C:x.dll", "c:/x", "...\\x", ".. \\x",
                            // devices, as a whole component, any case, with extension, dots or blanks
                            "NUL", "sub\\NUL.txt", "nul", "Con.ini", "prn", "aux.dat", "COM1", "com9.log",
                            "LPT1", "lpt5.x.y", "NUL.", "NUL ", "nul .txt", "COM1 .txt", "a\\CON\\b", "conin$", "CONOUT$",
                            "COM\xb9", "LPT\xb2.txt",
                            // streams
                            "a.txt:stream", "sub\\f:$DATA", "x:"};
  for (const char* p : rejected) {
    std::vector<qm::PackageEntry> out;
    EXPECT_EQ(Decode(OneEntryDirectory(Entry({0x02, 0x01, 0x00}, {0x02, 0x01, 0x00}, Tlv(0x13, Str(p)))), &out),
              UnpackResult::kMalformed)
        << p;
  }
  const char* accepted[] = {"a..b", "..a", "a\\.\\b", "a.\\b..", "x\\y\\z.txt", ".", "a.b.c",
                            "NULL", "nul1", "COM0", "COM10", "LPT", "CONSOLE.txt", "aux_x", "xcon", "my.nul"};
  for (const char* p : accepted) {
    std::vector<qm::PackageEntry> out;
    EXPECT_EQ(Decode(OneEntryDirectory(Entry({0x02, 0x01, 0x00}, {0x02, 0x01, 0x00}, Tlv(0x13, Str(p)))), &out),
              UnpackResult::kOk)
        << p;
  }
}

}  // namespace

#include "components/crypto/digest/digest.h"

#include <gtest/gtest.h>

namespace {

struct Vector {
  std::string input;
  const char* sha1;
  const char* md5;
};

// FIPS 180 and RFC 1321 test vectors, and lengths around the padding boundary.
const Vector kVectors[] = {
    {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709", "d41d8cd98f00b204e9800998ecf8427e"},
    {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "c12252ceda8be8994d5fa0290a47231c1d16aae3", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
     "8215ef0796a20bcaaae116d3876c664a"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "50abf5706a150990a08b2c5ea40fa0e585554732", "57edf4a22be3c955ac49da2e2107b67a"},
    {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f", "7707d6ae4e027c70eea2a935c2296f21"},
};

std::string Md5Of(const std::string& bytes, size_t chunk) {
  qm::Md5State state;
  qm::Md5Init(&state);
  for (size_t at = 0; at < bytes.size(); at += chunk)
    qm::Md5Update(&state, bytes.data() + at, bytes.size() - at < chunk ? bytes.size() - at : chunk);
  uint8_t out[qm::kMd5Size];
  qm::Md5Final(&state, out);
  return qm::HexOf(std::string(reinterpret_cast<char*>(out), sizeof(out)));
}

std::string Sha1Chunked(const std::string& bytes, size_t chunk) {
  qm::Sha1State state;
  qm::Sha1Init(&state);
  for (size_t at = 0; at < bytes.size(); at += chunk)
    qm::Sha1Update(&state, bytes.data() + at, bytes.size() - at < chunk ? bytes.size() - at : chunk);
  uint8_t out[qm::kSha1Size];
  qm::Sha1Final(&state, out);
  return qm::HexOf(std::string(reinterpret_cast<char*>(out), sizeof(out)));
}

TEST(Digest, KnownVectorsInOneAndInManyPieces) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(v.input.substr(0, 20));
    EXPECT_EQ(qm::HexOf(qm::Sha1Of(v.input)), v.sha1);
    for (size_t chunk : {size_t{1}, size_t{55}, size_t{64}, size_t{65}, size_t{4096}}) {
      if (chunk == 1 && v.input.size() > 1000) continue;  // slow under the sanitizers, and nothing new
      EXPECT_EQ(Sha1Chunked(v.input, chunk), v.sha1) << chunk;
      EXPECT_EQ(Md5Of(v.input, chunk), v.md5) << chunk;
    }
  }
}

TEST(Digest, EveryLengthAcrossTwoBlocksAgreesPieceByPiece) {
  std::string data;
  for (int i = 0; i < 130; ++i) data += static_cast<char>(i * 7);
  for (size_t n = 0; n <= data.size(); ++n) {
    const std::string part = data.substr(0, n);
    EXPECT_EQ(Sha1Chunked(part, 3), qm::HexOf(qm::Sha1Of(part))) << n;
    EXPECT_EQ(Md5Of(part, 3), Md5Of(part, 200)) << n;
  }
}

TEST(Digest, SignatureLines) {
  const std::string digest = qm::Sha1Of("abc");
  struct Row {
    std::string text;
    bool ok;
  };
  const Row rows[] = {
      {"a9993e364706816aba3e25717850c26c9cd0d89d  qmcsp.dll\n", true},
      {"A9993E364706816ABA3E25717850C26C9CD0D89D", true},
      {"a9993e364706816aba3e25717850c26c9cd0d89d\r\n", true},
      {"a9993e364706816aba3e25717850c26c9cd0d89", false},    // 39 digits
      {"a9993e364706816aba3e25717850c26c9cd0d89d0", false},  // 41 digits
      {"a9993e364706816aba3e25717850c26c9cd0d8xd", false},
      {" a9993e364706816aba3e25717850c26c9cd0d89d", false},
      {"", false},
  };
  for (const Row& row : rows) {
    std::string out = "untouched";
    EXPECT_EQ(qm::ParseDigestLine(row.text, &out), row.ok) << row.text;
    EXPECT_EQ(out, row.ok ? digest : "untouched") << row.text;
  }
}

}  // namespace

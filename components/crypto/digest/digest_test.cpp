#include "components/crypto/digest/digest.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct Vector {
  std::string input;
  const char* sha1;
  const char* md5;
};

// FIPS 180 and RFC 1321 test vectors, and sha1sum's and md5sum's digests of a few more.
const Vector kVectors[] = {
    {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709", "d41d8cd98f00b204e9800998ecf8427e"},
    {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "c12252ceda8be8994d5fa0290a47231c1d16aae3", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
     "8215ef0796a20bcaaae116d3876c664a"},
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "50abf5706a150990a08b2c5ea40fa0e585554732", "57edf4a22be3c955ac49da2e2107b67a"},
    // Around the padding boundary: the length field just fits, and a whole block.
    {std::string(55, 'x'), "cef734ba81a024479e09eb5a75b6ddae62e6abf1", "04364420e25c512fd958a70738aa8f72"},
    {std::string(64, 'x'), "bb2fa3ee7afb9f54c6dfb5d021f14b1ffe40c163", "c1bb4f81d892b2d57947682aeb252456"},
    {std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f", "7707d6ae4e027c70eea2a935c2296f21"},
};

// The digest of |bytes| fed |chunk| bytes at a time.
template <typename State, size_t kSize>
std::string Digest(const std::string& bytes, size_t chunk, void (*init)(State*),
                   void (*update)(State*, const void*, size_t), void (*final)(State*, uint8_t*)) {
  State state;
  init(&state);
  for (size_t at = 0; at < bytes.size(); at += chunk)
    update(&state, bytes.data() + at, std::min(chunk, bytes.size() - at));
  uint8_t out[kSize];
  final(&state, out);
  return qm::HexOf(std::string(reinterpret_cast<char*>(out), kSize));
}

TEST(Digest, KnownVectorsInOneAndInManyPieces) {
  for (const Vector& v : kVectors) {
    SCOPED_TRACE(v.input.substr(0, 20));
    EXPECT_EQ(qm::HexOf(qm::Sha1Of(v.input)), v.sha1);
    for (size_t chunk : {size_t{1}, size_t{55}, size_t{64}, size_t{65}, size_t{4096}}) {
      if (chunk == 1 && v.input.size() > 1000) continue;  // slow under the sanitizers, and nothing new
      EXPECT_EQ((Digest<qm::Sha1State, qm::kSha1Size>(v.input, chunk, qm::Sha1Init, qm::Sha1Update, qm::Sha1Final)),
                v.sha1)
          << chunk;
      EXPECT_EQ((Digest<qm::Md5State, qm::kMd5Size>(v.input, chunk, qm::Md5Init, qm::Md5Update, qm::Md5Final)), v.md5)
          << chunk;
    }
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

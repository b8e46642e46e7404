// SHA-1 and MD5, small and portable: the CSP hashes with them, and the signature files of the
// CSP's library and data file are SHA-1 digests checked with them.
#ifndef QM_COMPONENTS_CRYPTO_DIGEST_DIGEST_H_
#define QM_COMPONENTS_CRYPTO_DIGEST_DIGEST_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace qm {

constexpr size_t kSha1Size = 20;
constexpr size_t kMd5Size = 16;

struct Sha1State {
  uint32_t h[5];
  uint64_t length;  // bytes hashed so far
  uint8_t block[64];
  size_t used;  // bytes waiting in |block|
};

struct Md5State {
  uint32_t h[4];
  uint64_t length;
  uint8_t block[64];
  size_t used;
};

void Sha1Init(Sha1State* state);
void Sha1Update(Sha1State* state, const void* data, size_t size);
// Writes kSha1Size bytes; the state must be initialised again before further use.
void Sha1Final(Sha1State* state, uint8_t* out);

void Md5Init(Md5State* state);
void Md5Update(Md5State* state, const void* data, size_t size);
void Md5Final(Md5State* state, uint8_t* out);

std::string Sha1Of(const std::string& bytes);  // kSha1Size raw bytes
std::string HexOf(const std::string& bytes);   // lower-case hexadecimal

// A signature file is one line as sha1sum writes it: 40 hexadecimal digits (either case), then
// the end or a blank and the file's name. Returns the raw digest; false for any other text.
bool ParseDigestLine(const std::string& text, std::string* digest);

}  // namespace qm

#endif  // QM_COMPONENTS_CRYPTO_DIGEST_DIGEST_H_

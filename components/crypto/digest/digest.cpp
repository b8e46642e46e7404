#include "components/crypto/digest/digest.h"

#include <cstring>

namespace qm {
namespace {

uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t LoadBig(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}
uint32_t LoadLittle(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void Sha1Block(uint32_t* h, const uint8_t* block) {
  uint32_t w[80];
  for (int i = 0; i < 16; ++i) w[i] = LoadBig(block + 4 * i);
  for (int i = 16; i < 80; ++i) w[i] = Rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
  for (int i = 0; i < 80; ++i) {
    uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    uint32_t t = Rotl(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = Rotl(b, 30);
    b = a;
    a = t;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
  h[4] += e;
}

// RFC 1321: per-round shifts and the sine-derived constants.
constexpr int kMd5Shift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                               5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                               4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                               6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};
constexpr uint32_t kMd5K[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

void Md5Block(uint32_t* h, const uint8_t* block) {
  uint32_t m[16];
  for (int i = 0; i < 16; ++i) m[i] = LoadLittle(block + 4 * i);
  uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
  for (int i = 0; i < 64; ++i) {
    uint32_t f;
    int g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    uint32_t t = d;
    d = c;
    c = b;
    b = b + Rotl(a + f + kMd5K[i] + m[g], kMd5Shift[i]);
    a = t;
  }
  h[0] += a;
  h[1] += b;
  h[2] += c;
  h[3] += d;
}

using BlockFunction = void (*)(uint32_t*, const uint8_t*);

// Both digests share the Merkle-Damgard framing; only the block function and byte order differ.
void Feed(uint32_t* h, uint8_t* block, size_t* used, uint64_t* length, const void* data, size_t size,
          BlockFunction compress) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  *length += size;
  while (size > 0) {
    size_t take = 64 - *used < size ? 64 - *used : size;
    std::memcpy(block + *used, p, take);
    *used += take;
    p += take;
    size -= take;
    if (*used == 64) {
      compress(h, block);
      *used = 0;
    }
  }
}

void Pad(uint32_t* h, uint8_t* block, size_t* used, uint64_t length, bool big_endian, BlockFunction compress) {
  uint64_t bits = length * 8;
  block[(*used)++] = 0x80;
  if (*used > 56) {
    std::memset(block + *used, 0, 64 - *used);
    compress(h, block);
    *used = 0;
  }
  std::memset(block + *used, 0, 56 - *used);
  for (int i = 0; i < 8; ++i) {
    int shift = big_endian ? 56 - 8 * i : 8 * i;
    block[56 + i] = static_cast<uint8_t>(bits >> shift);
  }
  compress(h, block);
  *used = 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

void Sha1Init(Sha1State* state) {
  const uint32_t initial[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  std::memcpy(state->h, initial, sizeof(initial));
  state->length = 0;
  state->used = 0;
}

void Sha1Update(Sha1State* state, const void* data, size_t size) {
  Feed(state->h, state->block, &state->used, &state->length, data, size, Sha1Block);
}

void Sha1Final(Sha1State* state, uint8_t* out) {
  Pad(state->h, state->block, &state->used, state->length, true, Sha1Block);
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 4; ++j) out[4 * i + j] = static_cast<uint8_t>(state->h[i] >> (24 - 8 * j));
}

void Md5Init(Md5State* state) {
  const uint32_t initial[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  std::memcpy(state->h, initial, sizeof(initial));
  state->length = 0;
  state->used = 0;
}

void Md5Update(Md5State* state, const void* data, size_t size) {
  Feed(state->h, state->block, &state->used, &state->length, data, size, Md5Block);
}

void Md5Final(Md5State* state, uint8_t* out) {
  Pad(state->h, state->block, &state->used, state->length, false, Md5Block);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) out[4 * i + j] = static_cast<uint8_t>(state->h[i] >> (8 * j));
}

std::string Sha1Of(const std::string& bytes) {
  Sha1State state;
  Sha1Init(&state);
  Sha1Update(&state, bytes.data(), bytes.size());
  uint8_t out[kSha1Size];
  Sha1Final(&state, out);
  return std::string(reinterpret_cast<const char*>(out), kSha1Size);
}

std::string HexOf(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += kDigits[c >> 4];
    out += kDigits[c & 15];
  }
  return out;
}

bool ParseDigestLine(const std::string& text, std::string* digest) {
  constexpr size_t kHexDigits = 2 * kSha1Size;
  if (text.size() < kHexDigits) return false;
  if (text.size() > kHexDigits && text[kHexDigits] != ' ' && text[kHexDigits] != '\r' && text[kHexDigits] != '\n')
    return false;
  std::string out;
  for (size_t i = 0; i < kHexDigits; i += 2) {
    int high = HexValue(text[i]);
    int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high * 16 + low);
  }
  *digest = out;
  return true;
}

}  // namespace qm

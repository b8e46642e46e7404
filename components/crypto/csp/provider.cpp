#include "components/crypto/csp/provider.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "components/crypto/csp/algorithm_table.h"
#include "components/crypto/digest/digest.h"

namespace qm {
namespace csp {
namespace {

constexpr DWORD kOk = ERROR_SUCCESS;
constexpr DWORD kVersion = (QM_CRYPTO_VERSION_MAJOR << 8) | QM_CRYPTO_VERSION_MINOR;
// CRYPT_DEFAULT_CONTAINER_OPTIONAL: newer systems ask for a token context without a container so;
// the Windows 2000 headers lack its name.
constexpr DWORD kDefaultContainerOptional = 0x80;
constexpr DWORD kKnownAcquireFlags = CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET |
                                     CRYPT_MACHINE_KEYSET | CRYPT_SILENT | kDefaultContainerOptional;
constexpr DWORD kSignFlags = CRYPT_NOHASHOID | CRYPT_TYPE2_FORMAT | CRYPT_X931_FORMAT;
constexpr DWORD kDataFileMax = 64 * 1024;

struct Context {
  std::vector<AlgorithmEntry> algorithms;
  size_t next_algorithm = 0;  // PP_ENUMALGS
  size_t next_algorithm_ex = 0;  // PP_ENUMALGS_EX
};

struct Hash {
  const Context* owner = nullptr;
  ALG_ID algorithm = 0;
  bool finished = false;  // the value was read or set; no more data
  Sha1State sha1;
  Md5State md5;
  BYTE value[kSha1Size] = {};
};

struct CryptProvTraits {
  using Handle = HCRYPTPROV;
  static Handle Null() { return 0; }
  static bool IsValid(Handle h) { return h != 0; }
  static void Close(Handle h) { ::CryptReleaseContext(h, 0); }
};
using ScopedCryptProv = ScopedGeneric<CryptProvTraits>;

CRITICAL_SECTION g_lock;
HMODULE g_module = nullptr;
std::vector<std::unique_ptr<Context>> g_contexts;
std::vector<std::unique_ptr<Hash>> g_hashes;

Context* FindContext(HCRYPTPROV prov) {
  for (const auto& c : g_contexts)
    if (reinterpret_cast<HCRYPTPROV>(c.get()) == prov) return c.get();
  return nullptr;
}

// A hash of |owner|, else nullptr.
Hash* FindHash(const Context* owner, HCRYPTHASH hash) {
  for (const auto& h : g_hashes)
    if (reinterpret_cast<HCRYPTHASH>(h.get()) == hash && h->owner == owner) return h.get();
  return nullptr;
}

const AlgorithmEntry* FindAlgorithm(const Context& context, ALG_ID id) {
  for (const AlgorithmEntry& a : context.algorithms)
    if (a.id == id) return &a;
  return nullptr;
}

bool IsHashAlgorithm(ALG_ID id) { return GET_ALG_CLASS(id) == ALG_CLASS_HASH; }
bool IsKeyPairSpec(DWORD key_kind) { return key_kind == AT_KEYEXCHANGE || key_kind == AT_SIGNATURE; }

DWORD HashSize(ALG_ID algorithm) { return algorithm == CALG_SHA1 ? kSha1Size : kMd5Size; }

// CryptGetProvParam's sizing rule: no buffer asks for the size; a short one gets
// ERROR_MORE_DATA; either way |data_len| ends up with the size.
DWORD CopyOut(const void* source, DWORD size, BYTE* data, DWORD* data_len) {
  DWORD room = *data_len;
  *data_len = size;
  if (data == nullptr) return kOk;
  if (room < size) return ERROR_MORE_DATA;
  std::memcpy(data, source, size);
  return kOk;
}

DWORD CopyOutDword(DWORD value, BYTE* data, DWORD* data_len) { return CopyOut(&value, sizeof(value), data, data_len); }

bool ReadSmallFile(const std::string& path, std::string* out) {
  ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  DWORD size = ::GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE || size > kDataFileMax) return false;
  std::string bytes(size, '\0');
  DWORD read = 0;
  if (size > 0 && (!::ReadFile(file.get(), &bytes[0], size, &read, nullptr) || read != size)) return false;
  *out = bytes;
  return true;
}

// The algorithm table from the data file beside the library, trusted only when its digest
// matches the signature file written with it.
DWORD LoadAlgorithms(std::vector<AlgorithmEntry>* out) {
  char path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameA(g_module, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return NTE_PROVIDER_DLL_FAIL;
  std::string folder(path, n);
  folder.resize(folder.find_last_of('\\') + 1);
  std::string data;
  std::string signature;
  std::string digest;
  if (!ReadSmallFile(folder + kDataFileName, &data) || !ReadSmallFile(folder + kDataSignatureFileName, &signature))
    return NTE_PROVIDER_DLL_FAIL;
  if (!ParseDigestLine(signature, &digest) || digest != Sha1Of(data)) return NTE_BAD_SIGNATURE;
  return ParseAlgorithmTable(data, out) ? kOk : NTE_PROVIDER_DLL_FAIL;
}

DWORD EnumerateAlgorithm(Context* context, DWORD param, BYTE* data, DWORD* data_len, DWORD flags) {
  if (flags & ~static_cast<DWORD>(CRYPT_FIRST | CRYPT_NEXT)) return NTE_BAD_FLAGS;  // CRYPT_NEXT: as 0
  size_t& next = param == PP_ENUMALGS ? context->next_algorithm : context->next_algorithm_ex;
  if (flags & CRYPT_FIRST) next = 0;
  if (next >= context->algorithms.size()) return ERROR_NO_MORE_ITEMS;
  const AlgorithmEntry& a = context->algorithms[next];
  DWORD code;
  if (param == PP_ENUMALGS) {
    PROV_ENUMALGS record = {};
    record.aiAlgid = a.id;
    record.dwBitLen = a.default_bits;
    record.dwNameLen = static_cast<DWORD>(a.name.size() + 1);
    std::memcpy(record.szName, a.name.c_str(), a.name.size() + 1);
    code = CopyOut(&record, sizeof(record), data, data_len);
  } else {
    PROV_ENUMALGS_EX record = {};
    record.aiAlgid = a.id;
    record.dwDefaultLen = a.default_bits;
    record.dwMinLen = a.min_bits;
    record.dwMaxLen = a.max_bits;
    record.dwProtocols = a.protocols;
    record.dwNameLen = static_cast<DWORD>(a.name.size() + 1);
    std::memcpy(record.szName, a.name.c_str(), a.name.size() + 1);
    record.dwLongNameLen = static_cast<DWORD>(a.long_name.size() + 1);
    std::memcpy(record.szLongName, a.long_name.c_str(), a.long_name.size() + 1);
    code = CopyOut(&record, sizeof(record), data, data_len);
  }
  if (code == kOk && data != nullptr) ++next;  // a size query does not move on
  return code;
}

void FinishHash(Hash* hash) {
  if (hash->finished) return;
  if (hash->algorithm == CALG_SHA1)
    Sha1Final(&hash->sha1, hash->value);
  else
    Md5Final(&hash->md5, hash->value);
  hash->finished = true;
}

}  // namespace

void ProviderAttach(HMODULE module) {
  g_module = module;
  ::InitializeCriticalSection(&g_lock);
}

void ProviderDetach() {
  std::vector<std::unique_ptr<Hash>>().swap(g_hashes);
  std::vector<std::unique_ptr<Context>>().swap(g_contexts);
  ::DeleteCriticalSection(&g_lock);
}

ProviderLock::ProviderLock() { ::EnterCriticalSection(&g_lock); }
ProviderLock::~ProviderLock() { ::LeaveCriticalSection(&g_lock); }

bool IsContext(HCRYPTPROV prov) { return FindContext(prov) != nullptr; }

DWORD AcquireContext(HCRYPTPROV* prov, const char* container, DWORD flags) {
  if (prov == nullptr) return ERROR_INVALID_PARAMETER;
  if (flags & ~kKnownAcquireFlags) return NTE_BAD_FLAGS;
  const bool verify = (flags & CRYPT_VERIFYCONTEXT) == CRYPT_VERIFYCONTEXT;
  if ((flags & CRYPT_VERIFYCONTEXT) && !verify) return NTE_BAD_FLAGS;  // a part of the flag's bits
  if ((flags & CRYPT_NEWKEYSET) && (flags & CRYPT_DELETEKEYSET)) return NTE_BAD_FLAGS;
  if (verify && (flags & (CRYPT_NEWKEYSET | CRYPT_DELETEKEYSET))) return NTE_BAD_FLAGS;
  // Key containers, and readers named as "\\.\reader\", are on the token.
  if (!verify || (container != nullptr && container[0] != '\0')) return SCARD_E_NO_SMARTCARD;
  auto context = std::make_unique<Context>();
  DWORD code = LoadAlgorithms(&context->algorithms);
  if (code != kOk) return code;
  g_contexts.push_back(std::move(context));
  *prov = reinterpret_cast<HCRYPTPROV>(g_contexts.back().get());
  return kOk;
}

DWORD ReleaseContext(HCRYPTPROV prov, DWORD flags) {
  Context* context = FindContext(prov);
  if (context == nullptr) return NTE_BAD_UID;
  // The context goes even with bad flags, as CryptReleaseContext documents; its hashes with it.
  for (size_t i = g_hashes.size(); i-- > 0;)
    if (g_hashes[i]->owner == context) g_hashes.erase(g_hashes.begin() + i);
  for (size_t i = 0; i < g_contexts.size(); ++i) {
    if (g_contexts[i].get() == context) {
      g_contexts.erase(g_contexts.begin() + i);
      break;
    }
  }
  return flags == 0 ? kOk : NTE_BAD_FLAGS;
}

DWORD GetProvParam(HCRYPTPROV prov, DWORD param, BYTE* data, DWORD* data_len, DWORD flags) {
  Context* context = FindContext(prov);
  if (context == nullptr) return NTE_BAD_UID;
  if (data_len == nullptr) return ERROR_INVALID_PARAMETER;
  switch (param) {
    case PP_ENUMALGS:
    case PP_ENUMALGS_EX:
      return EnumerateAlgorithm(context, param, data, data_len, flags);
    case PP_ENUMCONTAINERS:
      if (flags & ~static_cast<DWORD>(CRYPT_FIRST | CRYPT_NEXT | CRYPT_MACHINE_KEYSET)) return NTE_BAD_FLAGS;
      return SCARD_E_NO_SMARTCARD;
    default:
      break;
  }
  switch (param) {
    case PP_NAME:
    case PP_VERSION:
    case PP_IMPTYPE:
    case PP_PROVTYPE:
    case PP_KEYSPEC:
    case PP_SIG_KEYSIZE_INC:
    case PP_KEYX_KEYSIZE_INC:
    case PP_CONTAINER:
    case PP_UNIQUE_CONTAINER:
      if (flags != 0) return NTE_BAD_FLAGS;
      break;
    default:
      return NTE_BAD_TYPE;
  }
  switch (param) {
    case PP_NAME:
      return CopyOut(kProviderName, sizeof(kProviderName), data, data_len);
    case PP_VERSION:
      return CopyOutDword(kVersion, data, data_len);
    case PP_IMPTYPE:
      return CopyOutDword(kImplementation, data, data_len);
    case PP_PROVTYPE:
      return CopyOutDword(PROV_RSA_FULL, data, data_len);
    case PP_KEYSPEC:
      return CopyOutDword(kKeySpecs, data, data_len);
    case PP_SIG_KEYSIZE_INC:
    case PP_KEYX_KEYSIZE_INC:
      return CopyOutDword(kKeySizeStep, data, data_len);
    default:
      return NTE_BAD_KEYSET;  // a verify context has no key container
  }
}

DWORD SetProvParam(HCRYPTPROV prov, DWORD param, const BYTE* data, DWORD flags) {
  if (FindContext(prov) == nullptr) return NTE_BAD_UID;
  switch (param) {
    case PP_CLIENT_HWND:  // accepted: the provider never shows a window
      return flags == 0 ? kOk : NTE_BAD_FLAGS;
    case PP_KEYEXCHANGE_PIN:
    case PP_SIGNATURE_PIN:
      if (flags != 0) return NTE_BAD_FLAGS;
      if (data == nullptr) return ERROR_INVALID_PARAMETER;
      return SCARD_E_NO_SMARTCARD;
    default:
      return NTE_BAD_TYPE;
  }
}

DWORD FillRandom(DWORD size, BYTE* buffer) {
  if (size == 0) return kOk;
  if (buffer == nullptr) return ERROR_INVALID_PARAMETER;
  // RtlGenRandom is advapi32's SystemFunction036 from Windows XP on; before that (Windows 2000,
  // 98/ME) the Microsoft base provider's generator does the work.
  using GenRandomFunction = BOOLEAN(WINAPI*)(PVOID, ULONG);
  HMODULE advapi = ::GetModuleHandleA("advapi32.dll");
  auto gen_random =
      advapi ? reinterpret_cast<GenRandomFunction>(::GetProcAddress(advapi, "SystemFunction036")) : nullptr;
  if (gen_random) return gen_random(buffer, size) ? kOk : NTE_FAIL;
  HCRYPTPROV raw = 0;
  if (!::CryptAcquireContextA(&raw, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return NTE_FAIL;
  ScopedCryptProv base(raw);
  return ::CryptGenRandom(base.get(), size, buffer) ? kOk : NTE_FAIL;
}

DWORD CreateHash(HCRYPTPROV prov, ALG_ID algorithm, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash) {
  Context* context = FindContext(prov);
  if (context == nullptr) return NTE_BAD_UID;
  if (hash == nullptr) return ERROR_INVALID_PARAMETER;
  if (flags != 0) return NTE_BAD_FLAGS;
  if ((algorithm != CALG_SHA1 && algorithm != CALG_MD5) || FindAlgorithm(*context, algorithm) == nullptr)
    return NTE_BAD_ALGID;
  if (key != 0) return NTE_BAD_KEY;  // plain digests take no key, and no key exists
  auto h = std::make_unique<Hash>();
  h->owner = context;
  h->algorithm = algorithm;
  Sha1Init(&h->sha1);
  Md5Init(&h->md5);
  g_hashes.push_back(std::move(h));
  *hash = reinterpret_cast<HCRYPTHASH>(g_hashes.back().get());
  return kOk;
}

DWORD CheckHash(HCRYPTPROV prov, HCRYPTHASH hash) {
  Context* context = FindContext(prov);
  if (context == nullptr) return NTE_BAD_UID;
  return FindHash(context, hash) ? kOk : NTE_BAD_HASH;
}

DWORD HashData(HCRYPTPROV prov, HCRYPTHASH hash, const BYTE* data, DWORD size, DWORD flags) {
  DWORD code = CheckHash(prov, hash);
  if (code != kOk) return code;
  Hash* h = FindHash(FindContext(prov), hash);
  if (flags & ~static_cast<DWORD>(CRYPT_USERDATA)) return NTE_BAD_FLAGS;
  if (h->finished) return NTE_BAD_HASH_STATE;
  if (data == nullptr && size > 0) return ERROR_INVALID_PARAMETER;
  if (h->algorithm == CALG_SHA1)
    Sha1Update(&h->sha1, data, size);
  else
    Md5Update(&h->md5, data, size);
  return kOk;
}

DWORD GetHashParam(HCRYPTPROV prov, HCRYPTHASH hash, DWORD param, BYTE* data, DWORD* data_len, DWORD flags) {
  DWORD code = CheckHash(prov, hash);
  if (code != kOk) return code;
  Hash* h = FindHash(FindContext(prov), hash);
  if (data_len == nullptr) return ERROR_INVALID_PARAMETER;
  if (param != HP_ALGID && param != HP_HASHSIZE && param != HP_HASHVAL) return NTE_BAD_TYPE;
  if (flags != 0) return NTE_BAD_FLAGS;
  if (param == HP_ALGID) return CopyOutDword(h->algorithm, data, data_len);
  if (param == HP_HASHSIZE) return CopyOutDword(HashSize(h->algorithm), data, data_len);
  DWORD size = HashSize(h->algorithm);
  if (data == nullptr || *data_len < size) {  // asking the size ends nothing
    *data_len = size;
    return data == nullptr ? kOk : ERROR_MORE_DATA;
  }
  FinishHash(h);
  return CopyOut(h->value, size, data, data_len);
}

DWORD SetHashParam(HCRYPTPROV prov, HCRYPTHASH hash, DWORD param, const BYTE* data, DWORD flags) {
  DWORD code = CheckHash(prov, hash);
  if (code != kOk) return code;
  Hash* h = FindHash(FindContext(prov), hash);
  if (param != HP_HASHVAL) return NTE_BAD_TYPE;
  if (flags != 0) return NTE_BAD_FLAGS;
  if (data == nullptr) return ERROR_INVALID_PARAMETER;
  std::memcpy(h->value, data, HashSize(h->algorithm));
  h->finished = true;
  return kOk;
}

DWORD DestroyHash(HCRYPTPROV prov, HCRYPTHASH hash) {
  DWORD code = CheckHash(prov, hash);
  if (code != kOk) return code;
  for (size_t i = 0; i < g_hashes.size(); ++i) {
    if (reinterpret_cast<HCRYPTHASH>(g_hashes[i].get()) == hash) {
      g_hashes.erase(g_hashes.begin() + i);
      break;
    }
  }
  return kOk;
}

DWORD GenKey(HCRYPTPROV prov, ALG_ID algorithm, HCRYPTKEY* key) {
  Context* context = FindContext(prov);
  if (context == nullptr) return NTE_BAD_UID;
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  if (IsKeyPairSpec(algorithm)) return SCARD_E_NO_SMARTCARD;
  if (IsHashAlgorithm(algorithm) || FindAlgorithm(*context, algorithm) == nullptr) return NTE_BAD_ALGID;
  return SCARD_E_NO_SMARTCARD;
}

DWORD DeriveKey(HCRYPTPROV prov, ALG_ID algorithm, HCRYPTHASH base, HCRYPTKEY* key) {
  DWORD code = CheckHash(prov, base);
  if (code != kOk) return code;
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  if (GET_ALG_CLASS(algorithm) != ALG_CLASS_DATA_ENCRYPT || FindAlgorithm(*FindContext(prov), algorithm) == nullptr)
    return NTE_BAD_ALGID;
  return SCARD_E_NO_SMARTCARD;
}

DWORD GetUserKey(HCRYPTPROV prov, DWORD key_spec, HCRYPTKEY* key) {
  if (FindContext(prov) == nullptr) return NTE_BAD_UID;
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  return IsKeyPairSpec(key_spec) ? SCARD_E_NO_SMARTCARD : NTE_BAD_KEY;
}

DWORD ImportKey(HCRYPTPROV prov, const BYTE* data, HCRYPTKEY public_key, HCRYPTKEY* key) {
  if (FindContext(prov) == nullptr) return NTE_BAD_UID;
  if (data == nullptr || key == nullptr) return ERROR_INVALID_PARAMETER;
  if (public_key != 0) return NTE_BAD_KEY;
  return SCARD_E_NO_SMARTCARD;
}

DWORD SignHash(HCRYPTPROV prov, HCRYPTHASH hash, DWORD key_spec, DWORD flags, DWORD* signature_len) {
  DWORD code = CheckHash(prov, hash);
  if (code != kOk) return code;
  if (!IsKeyPairSpec(key_spec)) return NTE_BAD_ALGID;
  if (flags & ~kSignFlags) return NTE_BAD_FLAGS;
  if (signature_len == nullptr) return ERROR_INVALID_PARAMETER;
  return SCARD_E_NO_SMARTCARD;  // even the size depends on the key on the token
}

DWORD KeyOperation(HCRYPTPROV prov) { return FindContext(prov) ? NTE_BAD_KEY : NTE_BAD_UID; }

}  // namespace csp
}  // namespace qm

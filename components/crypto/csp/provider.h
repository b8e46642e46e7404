// The provider behind qmcsp.dll's CryptoAPI service-provider exports: a token CSP whose key
// containers live on the KX2 token. Nothing here talks to a token, so anything that needs a key
// container fails with SCARD_E_NO_SMARTCARD; what needs none works in a verify context:
// provider parameters, random numbers, and SHA-1/MD5 hashing in software. No key ever exists.
// Every function returns ERROR_SUCCESS or the error the export leaves in the last-error value.
#ifndef QM_COMPONENTS_CRYPTO_CSP_PROVIDER_H_
#define QM_COMPONENTS_CRYPTO_CSP_PROVIDER_H_

#include <windows.h>
#include <wincrypt.h>

namespace qm {
namespace csp {

constexpr char kProviderName[] = "QM KX2 Token CSP";
// Beside the library: the algorithm table, and its SHA-1 digest in sha1sum's form.
constexpr char kDataFileName[] = "qmcsp.dat";
constexpr char kDataSignatureFileName[] = "qmcsp.sig";
constexpr DWORD kImplementation = CRYPT_IMPL_HARDWARE | CRYPT_IMPL_REMOVABLE;
constexpr DWORD kKeySpecs = AT_KEYEXCHANGE | AT_SIGNATURE;
constexpr DWORD kKeySizeStep = 1024;  // the token makes RSA keys of 1024 and 2048 bits

void ProviderAttach(HMODULE module);
// Frees every context and hash still open: called when the library is unloaded.
void ProviderDetach();

// Serialises every call into the provider's handle tables.
class ProviderLock {
 public:
  ProviderLock();
  ~ProviderLock();
  ProviderLock(const ProviderLock&) = delete;
  ProviderLock& operator=(const ProviderLock&) = delete;
};

// The functions below expect the lock to be held, except FillRandom.
bool IsContext(HCRYPTPROV prov);
DWORD AcquireContext(HCRYPTPROV* prov, const char* container, DWORD flags);
DWORD ReleaseContext(HCRYPTPROV prov, DWORD flags);
DWORD GetProvParam(HCRYPTPROV prov, DWORD param, BYTE* data, DWORD* data_len, DWORD flags);
DWORD SetProvParam(HCRYPTPROV prov, DWORD param, const BYTE* data, DWORD flags);
DWORD FillRandom(DWORD size, BYTE* buffer);

DWORD CreateHash(HCRYPTPROV prov, ALG_ID algorithm, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash);
DWORD HashData(HCRYPTPROV prov, HCRYPTHASH hash, const BYTE* data, DWORD size, DWORD flags);
DWORD GetHashParam(HCRYPTPROV prov, HCRYPTHASH hash, DWORD param, BYTE* data, DWORD* data_len, DWORD flags);
DWORD SetHashParam(HCRYPTPROV prov, HCRYPTHASH hash, DWORD param, const BYTE* data, DWORD flags);
DWORD DestroyHash(HCRYPTPROV prov, HCRYPTHASH hash);
// NTE_BAD_UID or NTE_BAD_HASH when the handles are not ours, else ERROR_SUCCESS.
DWORD CheckHash(HCRYPTPROV prov, HCRYPTHASH hash);

// Keys: algorithms of the table that are not hashes are made on the token.
DWORD GenKey(HCRYPTPROV prov, ALG_ID algorithm, HCRYPTKEY* key);
DWORD DeriveKey(HCRYPTPROV prov, ALG_ID algorithm, HCRYPTHASH base, HCRYPTKEY* key);
DWORD GetUserKey(HCRYPTPROV prov, DWORD key_spec, HCRYPTKEY* key);
DWORD ImportKey(HCRYPTPROV prov, const BYTE* data, HCRYPTKEY public_key, HCRYPTKEY* key);
DWORD SignHash(HCRYPTPROV prov, HCRYPTHASH hash, DWORD key_spec, DWORD flags, DWORD* signature_len);
// Every operation on an existing key: NTE_BAD_UID for a foreign context, else NTE_BAD_KEY.
DWORD KeyOperation(HCRYPTPROV prov);

}  // namespace csp
}  // namespace qm

#endif  // QM_COMPONENTS_CRYPTO_CSP_PROVIDER_H_

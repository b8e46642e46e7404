// qmcsp.dll's exports: CryptoAPI's service-provider interface, stdcall, by undecorated name.
// Each returns TRUE, or FALSE with the reason in the thread's last-error value; no exception
// leaves the library (allocation is the only thing that throws, reported as NTE_NO_MEMORY).
#include <windows.h>
#include <wincrypt.h>

#include "components/crypto/csp/provider.h"

namespace {

using namespace qm::csp;

template <typename Body>
BOOL Run(Body body) {
  DWORD code;
  try {
    code = body();
  } catch (...) {
    code = NTE_NO_MEMORY;
  }
  if (code == ERROR_SUCCESS) return TRUE;
  ::SetLastError(code);
  return FALSE;
}

}  // namespace

extern "C" {

// CryptoAPI's record of its callbacks (wincrypt.h has it for Windows 2000); nothing is read from it.
BOOL WINAPI CPAcquireContext(HCRYPTPROV* prov, LPCSTR container, DWORD flags, PVTableProvStruc /*vtable*/) {
  return Run([&] {
    ProviderLock lock;
    return AcquireContext(prov, container, flags);
  });
}

BOOL WINAPI CPReleaseContext(HCRYPTPROV prov, DWORD flags) {
  return Run([&] {
    ProviderLock lock;
    return ReleaseContext(prov, flags);
  });
}

BOOL WINAPI CPGetProvParam(HCRYPTPROV prov, DWORD param, BYTE* data, DWORD* data_len, DWORD flags) {
  return Run([&] {
    ProviderLock lock;
    return GetProvParam(prov, param, data, data_len, flags);
  });
}

BOOL WINAPI CPSetProvParam(HCRYPTPROV prov, DWORD param, const BYTE* data, DWORD flags) {
  return Run([&] {
    ProviderLock lock;
    return SetProvParam(prov, param, data, flags);
  });
}

BOOL WINAPI CPGenRandom(HCRYPTPROV prov, DWORD size, BYTE* buffer) {
  return Run([&]() -> DWORD {
    {
      ProviderLock lock;
      if (!IsContext(prov)) return NTE_BAD_UID;
    }
    return FillRandom(size, buffer);  // unlocked: the fallback goes through CryptoAPI again
  });
}

BOOL WINAPI CPCreateHash(HCRYPTPROV prov, ALG_ID algorithm, HCRYPTKEY key, DWORD flags, HCRYPTHASH* hash) {
  return Run([&] {
    ProviderLock lock;
    return CreateHash(prov, algorithm, key, flags, hash);
  });
}

BOOL WINAPI CPHashData(HCRYPTPROV prov, HCRYPTHASH hash, const BYTE* data, DWORD size, DWORD flags) {
  return Run([&] {
    ProviderLock lock;
    return HashData(prov, hash, data, size, flags);
  });
}

BOOL WINAPI CPGetHashParam(HCRYPTPROV prov, HCRYPTHASH hash, DWORD param, BYTE* data, DWORD* data_len,
                           DWORD flags) {
  return Run([&] {
    ProviderLock lock;
    return GetHashParam(prov, hash, param, data, data_len, flags);
  });
}

BOOL WINAPI CPSetHashParam(HCRYPTPROV prov, HCRYPTHASH hash, DWORD param, const BYTE* data, DWORD flags) {
  return Run([&] {
    ProviderLock lock;
    return SetHashParam(prov, hash, param, data, flags);
  });
}

BOOL WINAPI CPDestroyHash(HCRYPTPROV prov, HCRYPTHASH hash) {
  return Run([&] {
    ProviderLock lock;
    return DestroyHash(prov, hash);
  });
}

BOOL WINAPI CPHashSessionKey(HCRYPTPROV prov, HCRYPTHASH hash, HCRYPTKEY /*key*/, DWORD /*flags*/) {
  return Run([&] {
    ProviderLock lock;
    DWORD code = CheckHash(prov, hash);
    return code != ERROR_SUCCESS ? code : KeyOperation(prov);
  });
}

BOOL WINAPI CPSignHash(HCRYPTPROV prov, HCRYPTHASH hash, DWORD key_spec, LPCWSTR /*description*/, DWORD flags,
                       BYTE* /*signature*/, DWORD* signature_len) {
  return Run([&] {
    ProviderLock lock;
    return SignHash(prov, hash, key_spec, flags, signature_len);
  });
}

BOOL WINAPI CPVerifySignature(HCRYPTPROV prov, HCRYPTHASH hash, const BYTE* /*signature*/, DWORD /*signature_len*/,
                              HCRYPTKEY /*public_key*/, LPCWSTR /*description*/, DWORD /*flags*/) {
  return Run([&] {
    ProviderLock lock;
    DWORD code = CheckHash(prov, hash);
    return code != ERROR_SUCCESS ? code : KeyOperation(prov);
  });
}

BOOL WINAPI CPGenKey(HCRYPTPROV prov, ALG_ID algorithm, DWORD /*flags*/, HCRYPTKEY* key) {
  return Run([&] {
    ProviderLock lock;
    return GenKey(prov, algorithm, key);
  });
}

BOOL WINAPI CPDeriveKey(HCRYPTPROV prov, ALG_ID algorithm, HCRYPTHASH base, DWORD /*flags*/, HCRYPTKEY* key) {
  return Run([&] {
    ProviderLock lock;
    return DeriveKey(prov, algorithm, base, key);
  });
}

BOOL WINAPI CPGetUserKey(HCRYPTPROV prov, DWORD key_spec, HCRYPTKEY* key) {
  return Run([&] {
    ProviderLock lock;
    return GetUserKey(prov, key_spec, key);
  });
}

BOOL WINAPI CPImportKey(HCRYPTPROV prov, const BYTE* data, DWORD /*data_len*/, HCRYPTKEY public_key, DWORD /*flags*/,
                        HCRYPTKEY* key) {
  return Run([&] {
    ProviderLock lock;
    return ImportKey(prov, data, public_key, key);
  });
}

// No key handle is ever valid: every operation on one is refused.
BOOL WINAPI CPDestroyKey(HCRYPTPROV prov, HCRYPTKEY /*key*/) {
  return Run([&] {
    ProviderLock lock;
    return KeyOperation(prov);
  });
}

BOOL WINAPI CPSetKeyParam(HCRYPTPROV prov, HCRYPTKEY /*key*/, DWORD /*param*/, const BYTE* /*data*/, DWORD /*flags*/) {
  return Run([&] {
    ProviderLock lock;
    return KeyOperation(prov);
  });
}

BOOL WINAPI CPGetKeyParam(HCRYPTPROV prov, HCRYPTKEY /*key*/, DWORD /*param*/, BYTE* /*data*/, DWORD* /*data_len*/,
                          DWORD /*flags*/) {
  return Run([&] {
    ProviderLock lock;
    return KeyOperation(prov);
  });
}

BOOL WINAPI CPExportKey(HCRYPTPROV prov, HCRYPTKEY /*key*/, HCRYPTKEY /*public_key*/, DWORD /*blob_type*/,
                        DWORD /*flags*/, BYTE* /*data*/, DWORD* /*data_len*/) {
  return Run([&] {
    ProviderLock lock;
    return KeyOperation(prov);
  });
}

BOOL WINAPI CPEncrypt(HCRYPTPROV prov, HCRYPTKEY /*key*/, HCRYPTHASH /*hash*/, BOOL /*final*/, DWORD /*flags*/,
                      BYTE* /*data*/, DWORD* /*data_len*/, DWORD /*buffer_len*/) {
  return Run([&] {
    ProviderLock lock;
    return KeyOperation(prov);
  });
}

BOOL WINAPI CPDecrypt(HCRYPTPROV prov, HCRYPTKEY /*key*/, HCRYPTHASH /*hash*/, BOOL /*final*/, DWORD /*flags*/,
                      BYTE* /*data*/, DWORD* /*data_len*/) {
  return Run([&] {
    ProviderLock lock;
    return KeyOperation(prov);
  });
}

}  // extern "C"


#include "components/crypto/cspinst/doit.h"

#include <windows.h>
#include <wincrypt.h>

#include <string>

#include "base/result.h"
#include "base/win/reg_key.h"
#include "base/win/scoped_handle.h"
#include "components/crypto/cspinst/registration_text.h"
#include "components/crypto/digest/digest.h"

namespace qm {
namespace {

constexpr DWORD kSignatureFileMax = 4096;
// The signature is checked by us (against the file named in the text), not by CryptoAPI.
constexpr DWORD kSignatureNotInImage = 0;

bool DigestOfFile(const std::string& path, std::string* digest) {
  ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  Sha1State state;
  Sha1Init(&state);
  char buffer[16384];
  DWORD read = 0;
  do {
    if (!::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) return false;
    Sha1Update(&state, buffer, read);
  } while (read > 0);
  uint8_t out[kSha1Size];
  Sha1Final(&state, out);
  digest->assign(reinterpret_cast<const char*>(out), kSha1Size);
  return true;
}

bool ReadSignature(const std::string& path, std::string* digest) {
  ScopedHandle file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  char buffer[kSignatureFileMax];
  DWORD read = 0;
  if (!::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr)) return false;
  return ParseDigestLine(std::string(buffer, read), digest);
}

CspInstResult Install(const CspRegistration& r) {
  std::string actual;
  std::string expected;
  if (!DigestOfFile(r.library_path, &actual)) return CspInstResult::kLibraryUnreadable;
  if (!ReadSignature(r.signature_path, &expected)) return CspInstResult::kSignatureUnreadable;
  if (actual != expected) return CspInstResult::kSignatureMismatch;

  const std::string path = std::string(kProviderKeyPath) + "\\" + r.name;
  RegKey key;
  LONG status = key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_ALL_ACCESS);
  const bool existed = status == ERROR_SUCCESS;
  if (status == ERROR_FILE_NOT_FOUND) status = key.Create(HKEY_LOCAL_MACHINE, path.c_str());
  if (status != ERROR_SUCCESS) return CspInstResult::kRegistryFailed;
  // CryptoAPI reads "Image Path" into a buffer of the stored size: the NUL is stored with it.
  bool written = key.WriteRaw("Image Path", REG_SZ, r.library_path.c_str(),
                              static_cast<DWORD>(r.library_path.size() + 1)) == ERROR_SUCCESS &&
                 key.WriteDword("Type", PROV_RSA_FULL) == ERROR_SUCCESS &&
                 key.WriteDword("SigInFile", kSignatureNotInImage) == ERROR_SUCCESS;
  if (written) return CspInstResult::kOk;
  key.Close();
  if (!existed) {  // leave no half-made provider behind
    RegKey providers;
    if (providers.Open(HKEY_LOCAL_MACHINE, kProviderKeyPath, KEY_ALL_ACCESS) == ERROR_SUCCESS)
      providers.DeleteSubKeyTree(r.name.c_str());
  }
  return CspInstResult::kRegistryFailed;
}

CspInstResult Uninstall(const CspRegistration& r) {
  RegKey providers;
  LONG status = providers.Open(HKEY_LOCAL_MACHINE, kProviderKeyPath, KEY_ALL_ACCESS);
  if (status == ERROR_FILE_NOT_FOUND) return CspInstResult::kOk;
  if (status != ERROR_SUCCESS) return CspInstResult::kRegistryFailed;
  status = providers.DeleteSubKeyTree(r.name.c_str());
  return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? CspInstResult::kOk
                                                                    : CspInstResult::kRegistryFailed;
}

// Registers or removes the provider, as |text| says.
CspInstResult Register(const char* text) {
  CspRegistration r;
  if (!ParseCspRegistration(text, &r)) return CspInstResult::kMalformedText;
  return r.mode == RegistrationMode::kInstall ? Install(r) : Uninstall(r);
}

}  // namespace
}  // namespace qm

extern "C" int __stdcall DoIt(const char* text) {
  try {
    return qm::ToInt(qm::Register(text));
  } catch (...) {
    return qm::ToInt(qm::CspInstResult::kNoMemory);
  }
}


// qmcspinst.dll: registers the CSP with CryptoAPI and removes it again. Its one export,
//   int __stdcall DoIt(const char* text)
// takes the text of registration_text.h and returns a CspInstResult.
#ifndef QM_COMPONENTS_CRYPTO_CSPINST_DOIT_H_
#define QM_COMPONENTS_CRYPTO_CSPINST_DOIT_H_

namespace qm {

enum class CspInstResult : int {
  kOk = 0,  // also: uninstalling a provider that is not registered
  kMalformedText = 1,
  kLibraryUnreadable = 2,
  kSignatureUnreadable = 3,  // missing, or not a digest line
  kSignatureMismatch = 4,    // the library is not the one the signature file was made for
  kRegistryFailed = 5,
  kNoMemory = 6,
};

constexpr const char* ResultName(CspInstResult r) {
  switch (r) {
    case CspInstResult::kOk: return "kOk";
    case CspInstResult::kMalformedText: return "kMalformedText";
    case CspInstResult::kLibraryUnreadable: return "kLibraryUnreadable";
    case CspInstResult::kSignatureUnreadable: return "kSignatureUnreadable";
    case CspInstResult::kSignatureMismatch: return "kSignatureMismatch";
    case CspInstResult::kRegistryFailed: return "kRegistryFailed";
    case CspInstResult::kNoMemory: return "kNoMemory";
  }
  return "not a DoIt result";
}

// Where CryptoAPI looks providers up by name (below HKEY_LOCAL_MACHINE).
constexpr char kProviderKeyPath[] = "SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider";

}  // namespace qm

#endif  // QM_COMPONENTS_CRYPTO_CSPINST_DOIT_H_

// qmcspinst.dll: registers the CSP with CryptoAPI and removes it again. Its one export,
//   int __stdcall DoIt(const char* text)
// takes the text of registration_text.h and returns one of the codes below.
#ifndef QM_COMPONENTS_CRYPTO_CSPINST_DOIT_H_
#define QM_COMPONENTS_CRYPTO_CSPINST_DOIT_H_

namespace qm {

namespace cspinst_code {
constexpr int kOk = 0;  // also: uninstalling a provider that is not registered
constexpr int kMalformedText = 1;
constexpr int kLibraryUnreadable = 2;
constexpr int kSignatureUnreadable = 3;  // missing, or not a digest line
constexpr int kSignatureMismatch = 4;  // the library is not the one the signature file was made for
constexpr int kRegistryFailed = 5;
constexpr int kNoMemory = 6;
}  // namespace cspinst_code

// Where CryptoAPI looks providers up by name (below HKEY_LOCAL_MACHINE).
constexpr char kProviderKeyPath[] = "SOFTWARE\\Microsoft\\Cryptography\\Defaults\\Provider";

}  // namespace qm

#endif  // QM_COMPONENTS_CRYPTO_CSPINST_DOIT_H_

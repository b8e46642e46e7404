// The text the CSP installer's DoIt receives from the setup script: four double-quoted fields
// joined by ";" - mode ("i" install, "u" uninstall), the CSP library's path, the path of its
// signature file, and the provider's display name. For example:
//   "i";"C:\WINDOWS\system32\qmcsp.dll";"C:\WINDOWS\system32\qmcsp2.sig";"QM KX2 Token CSP"
#ifndef QM_COMPONENTS_CRYPTO_CSPINST_REGISTRATION_TEXT_H_
#define QM_COMPONENTS_CRYPTO_CSPINST_REGISTRATION_TEXT_H_

#include <string>

namespace qm {

// The platform path limit less the NUL, and the longest registry key name.
constexpr size_t kRegistrationPathMax = 259;
constexpr size_t kRegistrationNameMax = 255;

enum class RegistrationMode { kInstall, kUninstall };

struct CspRegistration {
  RegistrationMode mode = RegistrationMode::kInstall;
  std::string library_path;
  std::string signature_path;
  std::string name;
};

// False (and |out| untouched) unless the text is exactly four quoted fields with nothing around
// them; the mode is "i" or "u"; the name is non-empty, fits a key name and has no "\" or control
// character; and, to install, both paths are non-empty and fit. Uninstalling needs only the name.
// A name whose double-byte characters end in 0x5C bytes is refused too: this check is byte-wise.
bool ParseCspRegistration(const char* text, CspRegistration* out);

}  // namespace qm

#endif  // QM_COMPONENTS_CRYPTO_CSPINST_REGISTRATION_TEXT_H_

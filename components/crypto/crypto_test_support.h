// Helpers for the cryptographic components' Windows-side tests: the CSP's registration through
// the real installer library, and what the registry holds for a provider.
#ifndef QM_COMPONENTS_CRYPTO_CRYPTO_TEST_SUPPORT_H_
#define QM_COMPONENTS_CRYPTO_CRYPTO_TEST_SUPPORT_H_

#include <windows.h>

#include <string>
#include <vector>

#include "components/crypto/cspinst/doit.h"
#include "tests/result_printer.h"

namespace qmtest {

constexpr char kCspName[] = "QM KX2 Token CSP";

// "M";"LIBRARY";"SIGNATURE";"NAME" as the setup script passes it.
std::string RegistrationText(const std::string& mode, const std::string& library, const std::string& signature,
                             const std::string& name);
// qmcspinst.dll's DoIt from the test's folder, loaded for this one call. When the library or its
// export is missing, a value DoIt never returns.
qm::CspInstResult CallDoIt(const std::string& text);

// The names of every provider registered, and our provider's values (exists false: no key).
struct ProviderKey {
  bool exists = false;
  std::vector<std::string> value_names;
  DWORD image_path_type = 0;
  std::string image_path;  // as stored, a NUL that is stored included
  DWORD type = 0;
  DWORD sig_in_file = 0xFFFFFFFF;
};
ProviderKey ReadProviderKey(const std::string& name);
std::vector<std::string> RegisteredProviders();

// Registers the CSP of |folder| (qmcsp.dll and qmcsp2.sig there) under |name| for the life of
// the object; the destructor removes it whatever the test did.
class ScopedProvider {
 public:
  ScopedProvider(const std::string& folder, const std::string& name);
  ~ScopedProvider();
  qm::CspInstResult result() const { return result_; }

 private:
  std::string name_;
  qm::CspInstResult result_;
};

}  // namespace qmtest

#endif  // QM_COMPONENTS_CRYPTO_CRYPTO_TEST_SUPPORT_H_

#include "components/crypto/crypto_test_support.h"

#include "base/win/reg_key.h"
#include "base/win/scoped_handle.h"
#include "tests/win/test_support.h"

namespace qmtest {

std::string RegistrationText(const std::string& mode, const std::string& library, const std::string& signature,
                             const std::string& name) {
  return "\"" + mode + "\";\"" + library + "\";\"" + signature + "\";\"" + name + "\"";
}

qm::CspInstResult CallDoIt(const std::string& text) {
  qm::ScopedModule library(::LoadLibraryA((BinFolder() + "\\qmcspinst.dll").c_str()));
  if (!library) return static_cast<qm::CspInstResult>(-1);
  using DoItFunction = int(__stdcall*)(const char*);
  auto doit = reinterpret_cast<DoItFunction>(::GetProcAddress(library.get(), "DoIt"));
  return static_cast<qm::CspInstResult>(doit ? doit(text.c_str()) : -2);
}

ProviderKey ReadProviderKey(const std::string& name) {
  ProviderKey out;
  qm::RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, (std::string(qm::kProviderKeyPath) + "\\" + name).c_str(), KEY_READ) !=
      ERROR_SUCCESS)
    return out;
  out.exists = true;
  for (DWORD i = 0;; ++i) {
    char value[256];
    DWORD size = sizeof(value);
    if (::RegEnumValueA(key.get(), i, value, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    out.value_names.push_back(value);
  }
  char data[1024] = {};
  DWORD size = sizeof(data);
  if (::RegQueryValueExA(key.get(), "Image Path", nullptr, &out.image_path_type, reinterpret_cast<BYTE*>(data),
                         &size) == ERROR_SUCCESS)
    out.image_path.assign(data, size);
  key.ReadDword("Type", &out.type);
  key.ReadDword("SigInFile", &out.sig_in_file);
  return out;
}

std::vector<std::string> RegisteredProviders() {
  std::vector<std::string> names;
  qm::RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, qm::kProviderKeyPath, KEY_READ) != ERROR_SUCCESS) return names;
  char name[256];
  for (DWORD i = 0; ::RegEnumKeyA(key.get(), i, name, sizeof(name)) == ERROR_SUCCESS; ++i) names.push_back(name);
  return names;
}

ScopedProvider::ScopedProvider(const std::string& folder, const std::string& name) : name_(name) {
  result_ = CallDoIt(RegistrationText("i", folder + "\\qmcsp.dll", folder + "\\qmcsp2.sig", name));
}

ScopedProvider::~ScopedProvider() {
  CallDoIt(RegistrationText("u", "", "", name_));
  qm::RegKey providers;  // and should DoIt have failed to remove it
  if (providers.Open(HKEY_LOCAL_MACHINE, qm::kProviderKeyPath, KEY_ALL_ACCESS) == ERROR_SUCCESS)
    providers.DeleteSubKeyTree(name_.c_str());
}

}  // namespace qmtest

// qmcspinst.dll's DoIt as the setup script calls it: one row after another on the real
// registry, each with its code and what the registry holds afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/win/reg_key.h"
#include "components/crypto/crypto_test_support.h"
#include "components/crypto/cspinst/doit.h"
#include "tests/win/test_support.h"

namespace {

using qm::CspInstResult;
using qmtest::RegistrationText;

const char kName[] = "QM KX2 Token CSP install test";

// The provider list with our key, and our key's values: what "changes nothing" compares.
struct Snapshot {
  std::vector<std::string> providers;
  qmtest::ProviderKey key;
  bool operator==(const Snapshot& o) const {
    return providers == o.providers && key.exists == o.key.exists && key.value_names == o.key.value_names &&
           key.image_path == o.key.image_path && key.type == o.key.type && key.sig_in_file == o.key.sig_in_file;
  }
};

Snapshot Take() { return {qmtest::RegisteredProviders(), qmtest::ReadProviderKey(kName)}; }

class DoItTest : public ::testing::Test {
 protected:
  void SetUp() override { Remove(); }
  void TearDown() override { Remove(); }
  static void Remove() {
    qm::RegKey providers;
    if (providers.Open(HKEY_LOCAL_MACHINE, qm::kProviderKeyPath, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
      providers.DeleteSubKeyTree(kName);
    }
  }

  const std::string bin_ = qmtest::BinFolder();
  const std::string library_ = bin_ + "\\qmcsp.dll";
  const std::string signature_ = bin_ + "\\qmcsp2.sig";
};

TEST_F(DoItTest, ExportedByItsPlainName) {
  qm::ScopedModule library(::LoadLibraryA((bin_ + "\\qmcspinst.dll").c_str()));
  ASSERT_TRUE(library);
  EXPECT_NE(::GetProcAddress(library.get(), "DoIt"), nullptr);
  EXPECT_EQ(::GetProcAddress(library.get(), "DoIt@4"), nullptr);
}

TEST_F(DoItTest, InstallWritesTheProviderKey) {
  ASSERT_EQ(qmtest::CallDoIt(RegistrationText("i", library_, signature_, kName)), CspInstResult::kOk);
  const qmtest::ProviderKey key = qmtest::ReadProviderKey(kName);
  ASSERT_TRUE(key.exists);
  std::vector<std::string> names = key.value_names;
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Image Path", "SigInFile", "Type"}));
  EXPECT_EQ(key.image_path_type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(key.image_path, library_ + std::string(1, '\0'));  // stored with its NUL
  EXPECT_EQ(key.type, static_cast<DWORD>(PROV_RSA_FULL));
  EXPECT_EQ(key.sig_in_file, 0u);
}

TEST_F(DoItTest, RowsInOrder) {
  const std::string missing = bin_ + "\\no-such-file.dll";
  const std::string data_signature = bin_ + "\\qmcsp.sig";  // a digest line, but of qmcsp.dat
  const std::string not_a_signature = bin_ + "\\qmcsp.dat";
  const std::string installed_name = kName;
  struct Row {
    std::string text;
    CspInstResult code;
    bool registered_after;
  };
  const Row rows[] = {
      {RegistrationText("u", "", "", kName), CspInstResult::kOk, false},  // nothing to remove: fine
      {RegistrationText("i", library_, data_signature, kName), CspInstResult::kSignatureMismatch, false},
      {RegistrationText("i", library_, signature_, kName), CspInstResult::kOk, true},
      {RegistrationText("i", library_, signature_, kName), CspInstResult::kOk, true},  // again: harmless
      // Malformed texts and failed checks change nothing, registered or not.
      {RegistrationText("x", library_, signature_, kName), CspInstResult::kMalformedText, true},
      {RegistrationText("i", library_, signature_, ""), CspInstResult::kMalformedText, true},
      {RegistrationText("i", library_, signature_, installed_name + "\\sub"), CspInstResult::kMalformedText, true},
      {RegistrationText("u", "", "", installed_name + "\\sub"), CspInstResult::kMalformedText, true},
      {"\"u\";\"\";\"" + installed_name + "\"", CspInstResult::kMalformedText, true},
      {"\"u\";\"\";\"\";\"" + installed_name + "\";\"\"", CspInstResult::kMalformedText, true},
      {"u;\"\";\"\";\"" + installed_name + "\"", CspInstResult::kMalformedText, true},
      {"\"" + RegistrationText("u", "", "", kName) + "\"", CspInstResult::kMalformedText, true},
      {RegistrationText("i", missing, signature_, kName), CspInstResult::kLibraryUnreadable, true},
      {RegistrationText("i", library_, bin_ + "\\no-such-file.sig", kName), CspInstResult::kSignatureUnreadable, true},
      {RegistrationText("i", library_, not_a_signature, kName), CspInstResult::kSignatureUnreadable, true},
      {RegistrationText("i", library_, data_signature, kName), CspInstResult::kSignatureMismatch, true},
      {RegistrationText("u", library_, signature_, kName), CspInstResult::kOk, false},
      {RegistrationText("u", library_, signature_, kName), CspInstResult::kOk, false},
      {RegistrationText("i", missing, signature_, kName), CspInstResult::kLibraryUnreadable, false},
      {RegistrationText("i", library_, signature_, installed_name + "\\sub"), CspInstResult::kMalformedText, false},
      {"", CspInstResult::kMalformedText, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    const Snapshot before = Take();
    const CspInstResult result = qmtest::CallDoIt(row.text);
    EXPECT_EQ(result, row.code);
    const Snapshot after = Take();
    EXPECT_EQ(after.key.exists, row.registered_after);
    if (row.code != CspInstResult::kOk || before.key.exists == row.registered_after) {
      EXPECT_TRUE(after == before) << "the registry changed";
    } else {  // exactly our key came or went
      std::vector<std::string> expected = before.providers;
      if (row.registered_after)
        expected.push_back(kName);
      else
        expected.erase(std::find(expected.begin(), expected.end(), installed_name));
      std::sort(expected.begin(), expected.end());
      std::vector<std::string> got = after.providers;
      std::sort(got.begin(), got.end());
      EXPECT_EQ(got, expected);
    }
  }
}

}  // namespace

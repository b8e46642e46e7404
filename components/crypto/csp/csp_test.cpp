// qmcsp.dll as applications meet it: registered by the real installer library and driven
// through the system's CryptoAPI (Wine's advapi32), against Microsoft's base provider where a
// result can be compared.
#include <windows.h>
#include <wincrypt.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "components/crypto/crypto_test_support.h"
#include "components/crypto/digest/digest.h"
#include "tests/win/test_support.h"

namespace {

using qmtest::kCspName;

// The error codes as GetLastError returns them.
const DWORD kNoCard = static_cast<DWORD>(SCARD_E_NO_SMARTCARD);
const DWORD kBadFlags = static_cast<DWORD>(NTE_BAD_FLAGS);
const DWORD kBadType = static_cast<DWORD>(NTE_BAD_TYPE);
const DWORD kBadAlgid = static_cast<DWORD>(NTE_BAD_ALGID);
const ALG_ID kSha256 = ALG_CLASS_HASH | ALG_TYPE_ANY | 12;  // CALG_SHA_256, newer than our headers

struct Prov {
  HCRYPTPROV h = 0;
  ~Prov() {
    if (h) ::CryptReleaseContext(h, 0);
  }
};

// The error of a failed call, or ERROR_SUCCESS.
DWORD Outcome(BOOL ok) { return ok ? ERROR_SUCCESS : ::GetLastError(); }

DWORD Acquire(Prov* prov, const char* container, DWORD flags, const char* name = kCspName) {
  return Outcome(::CryptAcquireContextA(&prov->h, container, name, PROV_RSA_FULL, flags));
}

class CspTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(registration_.result(), qm::CspInstResult::kOk);
    ASSERT_EQ(Acquire(&prov_, nullptr, CRYPT_VERIFYCONTEXT), ERROR_SUCCESS);
  }
  qmtest::ScopedProvider registration_{qmtest::BinFolder(), kCspName};
  Prov prov_;
};

TEST_F(CspTest, TheSystemLoadsOurLibraryForTheContextAndUnloadsItAfter) {
  const std::string library = qmtest::BinFolder() + "\\qmcsp.dll";
  EXPECT_NE(::GetModuleHandleA(library.c_str()), nullptr);
  ::CryptReleaseContext(prov_.h, 0);
  prov_.h = 0;
  EXPECT_EQ(::GetModuleHandleA(library.c_str()), nullptr);
}

TEST_F(CspTest, ProviderParameters) {
  const std::string name(kCspName, sizeof("QM KX2 Token CSP"));  // with its NUL
  auto dword = [](DWORD v) { return std::string(reinterpret_cast<const char*>(&v), sizeof(v)); };
  const struct {
    DWORD param;
    DWORD flags;
    DWORD code;
    std::string value;
  } rows[] = {
      {PP_NAME, 0, ERROR_SUCCESS, name},
      {PP_VERSION, 0, ERROR_SUCCESS, dword(0x0100)},  // 1.0, as the file version 1.0.0.1
      {PP_IMPTYPE, 0, ERROR_SUCCESS, dword(CRYPT_IMPL_HARDWARE | CRYPT_IMPL_REMOVABLE)},
      {PP_PROVTYPE, 0, ERROR_SUCCESS, dword(PROV_RSA_FULL)},
      {PP_KEYSPEC, 0, ERROR_SUCCESS, dword(AT_KEYEXCHANGE | AT_SIGNATURE)},
      {PP_SIG_KEYSIZE_INC, 0, ERROR_SUCCESS, dword(1024)},
      {PP_KEYX_KEYSIZE_INC, 0, ERROR_SUCCESS, dword(1024)},
      {PP_CONTAINER, 0, static_cast<DWORD>(NTE_BAD_KEYSET), ""},  // a verify context has none
      {PP_UNIQUE_CONTAINER, 0, static_cast<DWORD>(NTE_BAD_KEYSET), ""},
      {PP_ENUMCONTAINERS, CRYPT_FIRST, kNoCard, ""},
      {0x7777, 0, kBadType, ""},
      {PP_NAME, CRYPT_FIRST, kBadFlags, ""},
      {PP_ENUMALGS, 0x100, kBadFlags, ""},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.param);
    BYTE data[64];
    DWORD size = sizeof(data);
    ASSERT_EQ(Outcome(::CryptGetProvParam(prov_.h, row.param, data, &size, row.flags)), row.code);
    if (row.code != ERROR_SUCCESS) continue;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), row.value);
    // The sizing rule: no buffer asks the size, a short one gets ERROR_MORE_DATA and the size.
    size = 0;
    EXPECT_TRUE(::CryptGetProvParam(prov_.h, row.param, nullptr, &size, 0));
    EXPECT_EQ(size, row.value.size());
    size = static_cast<DWORD>(row.value.size() - 1);
    EXPECT_EQ(Outcome(::CryptGetProvParam(prov_.h, row.param, data, &size, 0)), static_cast<DWORD>(ERROR_MORE_DATA));
    EXPECT_EQ(size, row.value.size());
  }
}

TEST_F(CspTest, EnumeratesTheAlgorithmsOfItsDataFile) {
  const struct {
    ALG_ID id;
    DWORD default_bits, min_bits, max_bits;
    const char* name;
  } table[] = {  // what qmcsp.dat lists
      {CALG_SHA1, 160, 160, 160, "SHA-1"},          {CALG_MD5, 128, 128, 128, "MD5"},
      {CALG_RSA_SIGN, 1024, 1024, 2048, "RSA_SIGN"}, {CALG_RSA_KEYX, 1024, 1024, 2048, "RSA_KEYX"},
      {CALG_3DES, 168, 168, 168, "3DES"},            {CALG_3DES_112, 112, 112, 112, "3DES TWO KEY"},
  };
  // Both walks at once, each at its own place; a size query does not move either on.
  for (size_t i = 0;; ++i) {
    SCOPED_TRACE(i);
    const DWORD flags = i == 0 ? CRYPT_FIRST : 0;
    PROV_ENUMALGS a;
    PROV_ENUMALGS_EX ex;
    DWORD size = 0;
    DWORD ex_size = sizeof(ex);
    ::CryptGetProvParam(prov_.h, PP_ENUMALGS, nullptr, &size, flags);
    DWORD code = Outcome(::CryptGetProvParam(prov_.h, PP_ENUMALGS, reinterpret_cast<BYTE*>(&a), &size, flags));
    DWORD ex_code = Outcome(::CryptGetProvParam(prov_.h, PP_ENUMALGS_EX, reinterpret_cast<BYTE*>(&ex), &ex_size, flags));
    if (i == sizeof(table) / sizeof(table[0])) {
      EXPECT_EQ(code, static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
      EXPECT_EQ(ex_code, static_cast<DWORD>(ERROR_NO_MORE_ITEMS));
      break;
    }
    ASSERT_EQ(code, ERROR_SUCCESS);
    ASSERT_EQ(ex_code, ERROR_SUCCESS);
    EXPECT_EQ(a.aiAlgid, table[i].id);
    EXPECT_EQ(a.dwBitLen, table[i].default_bits);
    EXPECT_STREQ(a.szName, table[i].name);
    EXPECT_EQ(a.dwNameLen, strlen(table[i].name) + 1);
    EXPECT_EQ(ex.aiAlgid, table[i].id);
    EXPECT_EQ(ex.dwMinLen, table[i].min_bits);
    EXPECT_EQ(ex.dwMaxLen, table[i].max_bits);
    EXPECT_EQ(ex.dwLongNameLen, strlen(ex.szLongName) + 1);
  }
  PROV_ENUMALGS a;
  DWORD size = sizeof(a);
  EXPECT_TRUE(::CryptGetProvParam(prov_.h, PP_ENUMALGS, reinterpret_cast<BYTE*>(&a), &size, CRYPT_FIRST));
  EXPECT_EQ(a.aiAlgid, static_cast<ALG_ID>(CALG_SHA1));  // CRYPT_FIRST starts again
}

TEST_F(CspTest, RandomNumbersFromTheSystem) {
  BYTE a[64] = {};
  BYTE b[64] = {};
  ASSERT_TRUE(::CryptGenRandom(prov_.h, sizeof(a), a));
  ASSERT_TRUE(::CryptGenRandom(prov_.h, sizeof(b), b));
  EXPECT_NE(memcmp(a, b, sizeof(a)), 0);
  EXPECT_TRUE(::CryptGenRandom(prov_.h, 0, a));
}

std::string HashWith(HCRYPTPROV prov, ALG_ID algorithm, const std::string& data) {
  HCRYPTHASH hash = 0;
  if (!::CryptCreateHash(prov, algorithm, 0, 0, &hash)) return "create failed";
  std::string value(64, '\0');
  DWORD size = static_cast<DWORD>(value.size());
  bool ok = ::CryptHashData(hash, reinterpret_cast<const BYTE*>(data.data()), static_cast<DWORD>(data.size()), 0) &&
            ::CryptGetHashParam(hash, HP_HASHVAL, reinterpret_cast<BYTE*>(&value[0]), &size, 0);
  ::CryptDestroyHash(hash);
  return ok ? value.substr(0, size) : "hash failed";
}

TEST_F(CspTest, HashesAgreeWithMicrosoftsBaseProvider) {
  Prov base;
  ASSERT_TRUE(::CryptAcquireContextA(&base.h, nullptr, MS_DEF_PROV_A, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
  for (ALG_ID algorithm : {static_cast<ALG_ID>(CALG_SHA1), static_cast<ALG_ID>(CALG_MD5)}) {
    for (const std::string& data : {std::string(), std::string("abc"), std::string(1000, '\x80')}) {
      const std::string ours = HashWith(prov_.h, algorithm, data);
      EXPECT_EQ(ours.size(), algorithm == CALG_SHA1 ? 20u : 16u);
      EXPECT_EQ(ours, HashWith(base.h, algorithm, data)) << algorithm << " " << data.size();
    }
  }
}

TEST_F(CspTest, HashStates) {
  HCRYPTHASH hash = 0;
  ASSERT_TRUE(::CryptCreateHash(prov_.h, CALG_SHA1, 0, 0, &hash));
  DWORD size = 0;
  EXPECT_TRUE(::CryptGetHashParam(hash, HP_HASHVAL, nullptr, &size, 0));  // asking the size ends nothing
  EXPECT_EQ(size, 20u);
  EXPECT_TRUE(::CryptHashData(hash, reinterpret_cast<const BYTE*>("abc"), 3, 0));
  BYTE digest[20];
  EXPECT_TRUE(::CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(digest), size), qm::Sha1Of("abc"));
  EXPECT_EQ(Outcome(::CryptHashData(hash, digest, 1, 0)), static_cast<DWORD>(NTE_BAD_HASH_STATE));
  EXPECT_EQ(Outcome(::CryptGetHashParam(hash, 0x7777, digest, &size, 0)), kBadType);
  EXPECT_TRUE(::CryptDestroyHash(hash));
  for (ALG_ID algorithm : {kSha256, static_cast<ALG_ID>(CALG_HMAC), static_cast<ALG_ID>(CALG_3DES)})
    EXPECT_EQ(Outcome(::CryptCreateHash(prov_.h, algorithm, 0, 0, &hash)), kBadAlgid) << algorithm;
}

TEST_F(CspTest, KeysAndSignaturesNeedTheToken) {
  HCRYPTHASH hash = 0;
  ASSERT_TRUE(::CryptCreateHash(prov_.h, CALG_SHA1, 0, 0, &hash));
  const BYTE blob[] = {PUBLICKEYBLOB, CUR_BLOB_VERSION, 0, 0, 0, 0xA4, 0, 0, 'R', 'S', 'A', '1'};
  const BYTE pin[] = "1234";
  HCRYPTKEY key = 0;
  DWORD size = 0;
  const struct {  // each outcome is taken right after its call
    const char* what;
    DWORD outcome;
    DWORD expected;
  } rows[] = {
      {"GetUserKey", Outcome(::CryptGetUserKey(prov_.h, AT_SIGNATURE, &key)), kNoCard},
      {"GenKey key pair", Outcome(::CryptGenKey(prov_.h, AT_KEYEXCHANGE, 0, &key)), kNoCard},
      {"GenKey 3DES", Outcome(::CryptGenKey(prov_.h, CALG_3DES, 0, &key)), kNoCard},
      {"GenKey RC4", Outcome(::CryptGenKey(prov_.h, CALG_RC4, 0, &key)), kBadAlgid},  // not in the table
      {"DeriveKey", Outcome(::CryptDeriveKey(prov_.h, CALG_3DES, hash, 0, &key)), kNoCard},
      {"ImportKey", Outcome(::CryptImportKey(prov_.h, blob, sizeof(blob), 0, 0, &key)), kNoCard},
      {"SignHash", Outcome(::CryptSignHashA(hash, AT_SIGNATURE, nullptr, 0, nullptr, &size)), kNoCard},
      {"SetProvParam PIN", Outcome(::CryptSetProvParam(prov_.h, PP_SIGNATURE_PIN, pin, 0)), kNoCard},
      {"SetProvParam unknown", Outcome(::CryptSetProvParam(prov_.h, 0x7777, pin, 0)), kBadType},
  };
  for (const auto& row : rows) EXPECT_EQ(row.outcome, row.expected) << row.what;
  EXPECT_EQ(key, 0u);
  ::CryptDestroyHash(hash);
}

TEST(CspAcquireTest, EveryContextButAVerifyContextNeedsTheTokenAndNoneOnceUnregistered) {
  auto registration = std::make_unique<qmtest::ScopedProvider>(qmtest::BinFolder(), kCspName);
  ASSERT_EQ(registration->result(), qm::CspInstResult::kOk);
  const struct {
    const char* container;
    DWORD flags;
    DWORD expected;
  } rows[] = {
      {nullptr, 0, kNoCard},
      {"kx2 container", CRYPT_MACHINE_KEYSET, kNoCard},
      {"kx2 container", CRYPT_NEWKEYSET, kNoCard},
      {"\\\\.\\KX2 Reader 0\\", CRYPT_VERIFYCONTEXT, kNoCard},  // a reader is on the token side too
      {nullptr, CRYPT_VERIFYCONTEXT | CRYPT_NEWKEYSET, kBadFlags},
      {nullptr, 0x10000000, kBadFlags},  // a part of CRYPT_VERIFYCONTEXT
      {"", CRYPT_VERIFYCONTEXT | CRYPT_SILENT, ERROR_SUCCESS},
  };
  for (const auto& row : rows) {
    Prov prov;
    EXPECT_EQ(Acquire(&prov, row.container, row.flags), row.expected) << (row.container ? row.container : "(none)") << " " << row.flags;
    EXPECT_EQ(prov.h != 0, row.expected == ERROR_SUCCESS);
  }
  registration.reset();
  Prov prov;
  EXPECT_NE(Acquire(&prov, nullptr, CRYPT_VERIFYCONTEXT), ERROR_SUCCESS);  // Wine: NTE_KEYSET_NOT_DEF
}

// The provider trusts its algorithm table only with the digest the build wrote beside it.
TEST(CspAcquireTest, DataFileAndItsSignature) {
  const std::string bin = qmtest::BinFolder();
  const std::string data = qmtest::ReadFileBytes(bin + "\\qmcsp.dat");
  const std::string signature = qmtest::ReadFileBytes(bin + "\\qmcsp.sig");
  const std::string extra = "0x6601|56|56|56|0|DES|DES\r\n";
  const std::string kSigned = "(signed)";
  const DWORD kBadSignature = static_cast<DWORD>(NTE_BAD_SIGNATURE);
  const DWORD kDllFail = static_cast<DWORD>(NTE_PROVIDER_DLL_FAIL);
  const struct {
    const char* what;
    std::string data;       // "": no file
    std::string signature;  // "": no file; kSigned: the digest of this row's data
    DWORD expected;
  } rows[] = {
      {"as built", data, signature, ERROR_SUCCESS},
      {"table edited", data + extra, signature, kBadSignature},
      {"edited and signed again", data + extra, kSigned, ERROR_SUCCESS},
      {"signature not a digest", data, "signed\r\n", kBadSignature},
      {"no signature file", data, "", kDllFail},
      {"no data file", "", signature, kDllFail},
      {"signed, but no table", "; nothing\r\n", kSigned, kDllFail},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string folder = qmtest::MakeScratchFolder("csp_data");
    ASSERT_TRUE(::CopyFileA((bin + "\\qmcsp.dll").c_str(), (folder + "\\qmcsp.dll").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileA((bin + "\\qmcsp2.sig").c_str(), (folder + "\\qmcsp2.sig").c_str(), FALSE));
    const std::string sig = row.signature == kSigned ? qm::HexOf(qm::Sha1Of(row.data)) : row.signature;
    if (!row.data.empty()) qmtest::WriteFileBytes(folder + "\\qmcsp.dat", row.data);
    if (!sig.empty()) qmtest::WriteFileBytes(folder + "\\qmcsp.sig", sig);
    {
      qmtest::ScopedProvider registration(folder, "QM KX2 Token CSP data test");
      ASSERT_EQ(registration.result(), qm::CspInstResult::kOk);
      Prov prov;
      EXPECT_EQ(Acquire(&prov, nullptr, CRYPT_VERIFYCONTEXT, "QM KX2 Token CSP data test"), row.expected);
    }
    qmtest::DeleteTree(folder);
  }
}

// Every language file decodes strictly in its code page and has the English file's messages.
TEST(CryptoLanguageFiles, EachInItsCodePageWithEveryMessage) {
  auto keys_of = [](const std::string& text) {
    std::vector<std::string> keys;
    for (const std::string& line : qmtest::Split(text, "\r\n"))
      if (!line.empty() && line[0] != ';' && line[0] != '[') keys.push_back(line.substr(0, line.find('=')));
    return keys;
  };
  const struct {
    int language;
    UINT code_page;
  } languages[] = {{2052, 936}, {1033, 1252}, {1028, 950}, {4444, 936}};
  for (const char* module : {"qmcsp", "qmp11"}) {
    const std::string base = qmtest::BinFolder() + "\\" + module + "_";
    const std::vector<std::string> english = keys_of(qmtest::ReadFileBytes(base + "1033.lng"));
    for (const auto& l : languages) {
      SCOPED_TRACE(std::string(module) + " " + std::to_string(l.language));
      const std::string text = qmtest::ReadFileBytes(base + std::to_string(l.language) + ".lng");
      ASSERT_GT(::MultiByteToWideChar(l.code_page, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0),
                0);
      std::vector<std::string> expected = {"Id", "CodePage"};
      expected.insert(expected.end(), english.begin() + 2, english.end());
      EXPECT_EQ(keys_of(text), expected);
      EXPECT_NE(text.find("Id=" + std::to_string(l.language) + "\r\nCodePage=" + std::to_string(l.code_page)),
                std::string::npos);
      // Translated: the Chinese texts are double-byte characters, the English one plain ASCII.
      EXPECT_EQ(std::any_of(text.begin(), text.end(), [](char c) { return (c & 0x80) != 0; }), l.code_page != 1252);
    }
  }
}

}  // namespace

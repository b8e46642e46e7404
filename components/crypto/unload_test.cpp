// Hosts load and unload our libraries many times, some without tidying up first: nothing of
// ours may stay behind in the process (memory, handles).
#include "components/crypto/p11/cryptoki.h"

#include <wincrypt.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "components/crypto/crypto_test_support.h"
#include "tests/win/test_support.h"

namespace {

constexpr int kWarmUp = 5;
constexpr int kCycles = 50;

void ExpectLevel(const char* what, const std::function<void(int)>& cycle) {
  for (int i = 0; i < kWarmUp; ++i) cycle(i);  // the heap and the loader settle
  const qmtest::ProcessCounters before = qmtest::ReadProcessCounters();
  for (int i = 0; i < kCycles; ++i) cycle(i);
  const qmtest::ProcessCounters after = qmtest::ReadProcessCounters();
  EXPECT_LT(after.private_bytes, before.private_bytes + 256 * 1024)
      << what << ": private bytes " << before.private_bytes << " -> " << after.private_bytes;
  EXPECT_LE(after.handles, before.handles) << what << ": handles " << before.handles << " -> " << after.handles;
}

qm::ScopedModule LoadFromBin(const char* name) {
  return qm::ScopedModule(::LoadLibraryA((qmtest::BinFolder() + "\\" + name).c_str()));
}

TEST(CryptoUnloadTest, Pkcs11ModuleInitialisedOrNot) {
  ExpectLevel("qmp11.dll", [](int i) {
    qm::ScopedModule module = LoadFromBin("qmp11.dll");
    ASSERT_TRUE(module);
    auto get_list = reinterpret_cast<CK_C_GetFunctionList>(::GetProcAddress(module.get(), "C_GetFunctionList"));
    CK_FUNCTION_LIST* p11 = nullptr;
    ASSERT_EQ(get_list(&p11), CKR_OK);
    ASSERT_EQ(p11->C_Initialize(nullptr), CKR_OK);
    CK_INFO info;
    CK_SLOT_ID slot;
    EXPECT_EQ(p11->C_GetInfo(&info), CKR_OK);
    EXPECT_EQ(p11->C_WaitForSlotEvent(CKF_DONT_BLOCK, &slot, nullptr), CKR_NO_EVENT);
    if (i % 2 == 0) {  // else unloaded still initialised
      EXPECT_EQ(p11->C_Finalize(nullptr), CKR_OK);
    }
  });
}

// The provider loaded as CryptoAPI loads it, with contexts and hashes left open at unload.
TEST(CryptoUnloadTest, ProviderLibraryDirectly) {
  using Acquire = BOOL(WINAPI*)(HCRYPTPROV*, LPCSTR, DWORD, void*);
  using Release = BOOL(WINAPI*)(HCRYPTPROV, DWORD);
  using CreateHash = BOOL(WINAPI*)(HCRYPTPROV, ALG_ID, HCRYPTKEY, DWORD, HCRYPTHASH*);
  using HashData = BOOL(WINAPI*)(HCRYPTPROV, HCRYPTHASH, const BYTE*, DWORD, DWORD);
  using GenRandom = BOOL(WINAPI*)(HCRYPTPROV, DWORD, BYTE*);
  ExpectLevel("qmcsp.dll", [](int i) {
    qm::ScopedModule module = LoadFromBin("qmcsp.dll");
    ASSERT_TRUE(module);
    auto acquire = reinterpret_cast<Acquire>(::GetProcAddress(module.get(), "CPAcquireContext"));
    auto release = reinterpret_cast<Release>(::GetProcAddress(module.get(), "CPReleaseContext"));
    auto create_hash = reinterpret_cast<CreateHash>(::GetProcAddress(module.get(), "CPCreateHash"));
    auto hash_data = reinterpret_cast<HashData>(::GetProcAddress(module.get(), "CPHashData"));
    auto gen_random = reinterpret_cast<GenRandom>(::GetProcAddress(module.get(), "CPGenRandom"));
    ASSERT_TRUE(acquire && release && create_hash && hash_data && gen_random);
    // Enough contexts and hashes that a leak of them would show in the memory level.
    for (int n = 0; n < 64; ++n) {
      HCRYPTPROV prov = 0;
      ASSERT_TRUE(acquire(&prov, nullptr, CRYPT_VERIFYCONTEXT, nullptr));
      HCRYPTHASH hash = 0;
      ASSERT_TRUE(create_hash(prov, CALG_SHA1, 0, 0, &hash));
      BYTE data[512] = {};
      EXPECT_TRUE(hash_data(prov, hash, data, sizeof(data), 0));
      EXPECT_TRUE(gen_random(prov, sizeof(data), data));
      if (i % 2 == 0) {  // else left for the unload to free
        EXPECT_TRUE(release(prov, 0));
      }
    }
  });
}

TEST(CryptoUnloadTest, ProviderThroughCryptoApi) {
  qmtest::ScopedProvider registration(qmtest::BinFolder(), qmtest::kCspName);
  ASSERT_EQ(registration.result(), qm::CspInstResult::kOk);
  ExpectLevel("qmcsp.dll through CryptoAPI", [](int) {
    HCRYPTPROV prov = 0;
    ASSERT_TRUE(::CryptAcquireContextA(&prov, nullptr, qmtest::kCspName, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT));
    HCRYPTHASH hash = 0;
    EXPECT_TRUE(::CryptCreateHash(prov, CALG_MD5, 0, 0, &hash));
    BYTE data[64];
    EXPECT_TRUE(::CryptGenRandom(prov, sizeof(data), data));
    EXPECT_TRUE(::CryptReleaseContext(prov, 0));  // the hash goes with the context
  });
}

using CspAcquire = BOOL(WINAPI*)(HCRYPTPROV*, LPCSTR, DWORD, void*);
using CspRelease = BOOL(WINAPI*)(HCRYPTPROV, DWORD);
using CspGenRandom = BOOL(WINAPI*)(HCRYPTPROV, DWORD, BYTE*);

struct BothModules {
  CK_FUNCTION_LIST* p11 = nullptr;
  CspAcquire acquire = nullptr;
  CspRelease release = nullptr;
  CspGenRandom gen_random = nullptr;
  LONG failures = 0;
};

DWORD WINAPI CallBothModules(void* context) {
  constexpr int kCalls = 50;
  BothModules& m = *static_cast<BothModules*>(context);
  for (int n = 0; n < kCalls; ++n) {
    CK_INFO info;
    CK_ULONG slots = 0;
    HCRYPTPROV prov = 0;
    BYTE data[32];
    bool ok = m.p11->C_GetInfo(&info) == CKR_OK && m.p11->C_GetSlotList(CK_FALSE, nullptr, &slots) == CKR_OK &&
              m.acquire(&prov, nullptr, CRYPT_VERIFYCONTEXT, nullptr) && m.gen_random(prov, sizeof(data), data) &&
              m.release(prov, 0);
    if (!ok) ::InterlockedIncrement(&m.failures);
  }
  return 0;
}

// Hosts call both modules from many threads, and load and unload them.
TEST(CryptoUnloadTest, ManyThreadsWithLoadAndUnloadCycles) {
  ExpectLevel("qmp11.dll and qmcsp.dll from several threads", [](int) {
    constexpr int kThreads = 4;
    qm::ScopedModule p11 = LoadFromBin("qmp11.dll");
    qm::ScopedModule csp = LoadFromBin("qmcsp.dll");
    ASSERT_TRUE(p11 && csp);
    BothModules m;
    auto get_list = reinterpret_cast<CK_C_GetFunctionList>(::GetProcAddress(p11.get(), "C_GetFunctionList"));
    ASSERT_EQ(get_list(&m.p11), CKR_OK);
    m.acquire = reinterpret_cast<CspAcquire>(::GetProcAddress(csp.get(), "CPAcquireContext"));
    m.release = reinterpret_cast<CspRelease>(::GetProcAddress(csp.get(), "CPReleaseContext"));
    m.gen_random = reinterpret_cast<CspGenRandom>(::GetProcAddress(csp.get(), "CPGenRandom"));
    ASSERT_TRUE(m.acquire && m.release && m.gen_random);
    ASSERT_EQ(m.p11->C_Initialize(nullptr), CKR_OK);
    std::vector<qm::ScopedHandle> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back(::CreateThread(nullptr, 0, CallBothModules, &m, 0, nullptr));
    for (qm::ScopedHandle& thread : threads) {
      ASSERT_TRUE(thread);
      EXPECT_EQ(::WaitForSingleObject(thread.get(), 120000), WAIT_OBJECT_0);
    }
    EXPECT_EQ(m.failures, 0);
    EXPECT_EQ(m.p11->C_Finalize(nullptr), CKR_OK);
  });
}

TEST(CryptoUnloadTest, InstallerLibrary) {
  ExpectLevel("qmcspinst.dll", [](int) {
    EXPECT_EQ(qmtest::CallDoIt(qmtest::RegistrationText("u", "", "", "QM KX2 Token CSP unload test")),
              qm::CspInstResult::kOk);
  });
}

}  // namespace

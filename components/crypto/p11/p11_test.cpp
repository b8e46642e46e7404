// A small PKCS#11 application of our own, on the same standard header: it loads qmp11.dll by
// path, takes its function list and walks the calls an application makes, checking each code.
#include "components/crypto/p11/cryptoki.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/win/scoped_handle.h"
#include "tests/win/test_support.h"

namespace {

class P11Test : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.Reset(::LoadLibraryA((qmtest::BinFolder() + "\\qmp11.dll").c_str()));
    ASSERT_TRUE(module_);
    auto get_list = reinterpret_cast<CK_C_GetFunctionList>(::GetProcAddress(module_.get(), "C_GetFunctionList"));
    ASSERT_NE(get_list, nullptr);
    ASSERT_EQ(get_list(&p11_), CKR_OK);
  }
  void TearDown() override { p11_->C_Finalize(nullptr); }

  qm::ScopedModule module_;
  CK_FUNCTION_LIST* p11_ = nullptr;
};

// Arguments for the calls below.
CK_BYTE g_buffer[256];
CK_ULONG g_size = sizeof(g_buffer);
CK_MECHANISM g_mechanism = {CKM_SHA_1, nullptr, 0};
CK_INFO g_info;
CK_SLOT_ID g_slot;
CK_SLOT_INFO g_slot_info;
CK_TOKEN_INFO g_token_info;
CK_MECHANISM_INFO g_mechanism_info;
CK_SESSION_INFO g_session_info;
CK_SESSION_HANDLE g_session;
CK_OBJECT_HANDLE g_object;
CK_UTF8CHAR g_pin[] = "1234";

struct Row {
  const char* what;
  CK_RV (*call)(CK_FUNCTION_LIST*);
  CK_RV once_initialised;  // before C_Initialize, every call gives CKR_CRYPTOKI_NOT_INITIALIZED
};
#define ROW(name, expected, ...) \
  { #name, [](CK_FUNCTION_LIST* f) { return f->name(__VA_ARGS__); }, expected }

const Row kRows[] = {
    ROW(C_GetInfo, CKR_OK, &g_info),
    ROW(C_GetInfo, CKR_ARGUMENTS_BAD, nullptr),
    ROW(C_GetSlotList, CKR_OK, CK_TRUE, nullptr, &g_size),
    ROW(C_GetSlotList, CKR_ARGUMENTS_BAD, CK_FALSE, nullptr, nullptr),
    ROW(C_WaitForSlotEvent, CKR_NO_EVENT, CKF_DONT_BLOCK, &g_slot, nullptr),
    ROW(C_WaitForSlotEvent, CKR_ARGUMENTS_BAD, CKF_DONT_BLOCK, nullptr, nullptr),
    // No token attached: no slot id is known.
    ROW(C_GetSlotInfo, CKR_SLOT_ID_INVALID, 0, &g_slot_info),
    ROW(C_GetSlotInfo, CKR_ARGUMENTS_BAD, 0, nullptr),
    ROW(C_GetTokenInfo, CKR_SLOT_ID_INVALID, 1, &g_token_info),
    ROW(C_GetMechanismList, CKR_SLOT_ID_INVALID, 1, nullptr, &g_size),
    ROW(C_GetMechanismInfo, CKR_SLOT_ID_INVALID, 1, CKM_RSA_PKCS, &g_mechanism_info),
    ROW(C_InitToken, CKR_SLOT_ID_INVALID, 1, g_pin, 4, g_pin),
    ROW(C_OpenSession, CKR_SLOT_ID_INVALID, 1, CKF_SERIAL_SESSION | CKF_RW_SESSION, nullptr, nullptr, &g_session),
    ROW(C_OpenSession, CKR_ARGUMENTS_BAD, 1, CKF_SERIAL_SESSION, nullptr, nullptr, nullptr),
    ROW(C_CloseAllSessions, CKR_SLOT_ID_INVALID, 1),
    // No session can be open. One call of each kind; the function-list test covers the others.
    ROW(C_CloseSession, CKR_SESSION_HANDLE_INVALID, 1),
    ROW(C_GetSessionInfo, CKR_SESSION_HANDLE_INVALID, 1, &g_session_info),
    ROW(C_Login, CKR_SESSION_HANDLE_INVALID, 1, CKU_USER, g_pin, 4),
    ROW(C_FindObjectsInit, CKR_SESSION_HANDLE_INVALID, 1, nullptr, 0),
    ROW(C_GetAttributeValue, CKR_SESSION_HANDLE_INVALID, 1, 1, nullptr, 0),
    ROW(C_SignInit, CKR_SESSION_HANDLE_INVALID, 1, &g_mechanism, 1),
    ROW(C_Decrypt, CKR_SESSION_HANDLE_INVALID, 1, g_buffer, 8, g_buffer, &g_size),
    ROW(C_GenerateKeyPair, CKR_SESSION_HANDLE_INVALID, 1, &g_mechanism, nullptr, 0, nullptr, 0, &g_object, &g_object),
    ROW(C_GenerateRandom, CKR_SESSION_HANDLE_INVALID, 1, g_buffer, 8),
    // What the token has no use for, and a legacy function.
    ROW(C_GetOperationState, CKR_FUNCTION_NOT_SUPPORTED, 1, g_buffer, &g_size),
    ROW(C_SignRecoverInit, CKR_FUNCTION_NOT_SUPPORTED, 1, &g_mechanism, 1),
    ROW(C_DecryptVerifyUpdate, CKR_FUNCTION_NOT_SUPPORTED, 1, g_buffer, 8, g_buffer, &g_size),
    ROW(C_GetFunctionStatus, CKR_FUNCTION_NOT_PARALLEL, 1),
    ROW(C_Finalize, CKR_ARGUMENTS_BAD, &g_size),
};

TEST_F(P11Test, EveryCallBeforeAndAfterInitialize) {
  for (const Row& row : kRows) EXPECT_EQ(row.call(p11_), CKR_CRYPTOKI_NOT_INITIALIZED) << row.what;
  ASSERT_EQ(p11_->C_Initialize(nullptr), CKR_OK);
  for (const Row& row : kRows) EXPECT_EQ(row.call(p11_), row.once_initialised) << row.what;
}

TEST_F(P11Test, TheFunctionListIsCompleteAndMatchesTheExports) {
  EXPECT_EQ(p11_->version.major, 2);
  EXPECT_EQ(p11_->version.minor, 40);
  // Every entry after the version, in the header's order, against the export of its name.
  const char* names[] = {
      "C_Initialize", "C_Finalize", "C_GetInfo", "C_GetFunctionList", "C_GetSlotList", "C_GetSlotInfo",
      "C_GetTokenInfo", "C_GetMechanismList", "C_GetMechanismInfo", "C_InitToken", "C_InitPIN", "C_SetPIN",
      "C_OpenSession", "C_CloseSession", "C_CloseAllSessions", "C_GetSessionInfo", "C_GetOperationState",
      "C_SetOperationState", "C_Login", "C_Logout", "C_CreateObject", "C_CopyObject", "C_DestroyObject",
      "C_GetObjectSize", "C_GetAttributeValue", "C_SetAttributeValue", "C_FindObjectsInit", "C_FindObjects",
      "C_FindObjectsFinal", "C_EncryptInit", "C_Encrypt", "C_EncryptUpdate", "C_EncryptFinal", "C_DecryptInit",
      "C_Decrypt", "C_DecryptUpdate", "C_DecryptFinal", "C_DigestInit", "C_Digest", "C_DigestUpdate", "C_DigestKey",
      "C_DigestFinal", "C_SignInit", "C_Sign", "C_SignUpdate", "C_SignFinal", "C_SignRecoverInit", "C_SignRecover",
      "C_VerifyInit", "C_Verify", "C_VerifyUpdate", "C_VerifyFinal", "C_VerifyRecoverInit", "C_VerifyRecover",
      "C_DigestEncryptUpdate", "C_DecryptDigestUpdate", "C_SignEncryptUpdate", "C_DecryptVerifyUpdate",
      "C_GenerateKey", "C_GenerateKeyPair", "C_WrapKey", "C_UnwrapKey", "C_DeriveKey", "C_SeedRandom",
      "C_GenerateRandom", "C_GetFunctionStatus", "C_CancelFunction", "C_WaitForSlotEvent"};
  constexpr size_t kCount = sizeof(names) / sizeof(names[0]);
  static_assert(sizeof(CK_VERSION) + kCount * sizeof(void*) == sizeof(CK_FUNCTION_LIST), "one name per entry");
  void* entries[kCount];
  std::memcpy(entries, reinterpret_cast<const char*>(p11_) + sizeof(CK_VERSION), sizeof(entries));
  for (size_t i = 0; i < kCount; ++i)
    EXPECT_EQ(entries[i], reinterpret_cast<void*>(::GetProcAddress(module_.get(), names[i]))) << names[i];
}

CK_RV CreateMutexCallback(CK_VOID_PTR_PTR mutex) {
  *mutex = nullptr;
  return CKR_OK;
}
CK_RV MutexCallback(CK_VOID_PTR) { return CKR_OK; }

TEST_F(P11Test, InitializeArgumentsAndASecondInitialize) {
  CK_ULONG word = 0;
  const struct {
    CK_C_INITIALIZE_ARGS args;
    CK_RV expected;
  } rows[] = {
      {{nullptr, nullptr, nullptr, nullptr, CKF_OS_LOCKING_OK, nullptr}, CKR_OK},
      {{CreateMutexCallback, MutexCallback, MutexCallback, MutexCallback, 0, nullptr}, CKR_OK},
      {{CreateMutexCallback, MutexCallback, MutexCallback, MutexCallback, CKF_OS_LOCKING_OK, nullptr}, CKR_OK},
      {{nullptr, nullptr, nullptr, nullptr, CKF_LIBRARY_CANT_CREATE_OS_THREADS, nullptr}, CKR_OK},
      {{CreateMutexCallback, nullptr, MutexCallback, MutexCallback, 0, nullptr}, CKR_ARGUMENTS_BAD},  // 3 of 4
      {{nullptr, nullptr, nullptr, nullptr, 0, &word}, CKR_ARGUMENTS_BAD},                             // reserved
      {{nullptr, nullptr, nullptr, nullptr, 0x100, nullptr}, CKR_ARGUMENTS_BAD},                       // unknown flag
  };
  for (const auto& row : rows) {
    EXPECT_EQ(p11_->C_Initialize(const_cast<CK_C_INITIALIZE_ARGS*>(&row.args)), row.expected) << row.args.flags;
    if (row.expected != CKR_OK) continue;
    EXPECT_EQ(p11_->C_Initialize(nullptr), CKR_CRYPTOKI_ALREADY_INITIALIZED);
    EXPECT_EQ(p11_->C_Finalize(nullptr), CKR_OK);
    EXPECT_EQ(p11_->C_Finalize(nullptr), CKR_CRYPTOKI_NOT_INITIALIZED);
  }
}

TEST_F(P11Test, InfoAndAnEmptySlotList) {
  ASSERT_EQ(p11_->C_Initialize(nullptr), CKR_OK);
  CK_INFO info;
  std::memset(&info, 0, sizeof(info));
  ASSERT_EQ(p11_->C_GetInfo(&info), CKR_OK);
  EXPECT_EQ(info.cryptokiVersion.major * 100 + info.cryptokiVersion.minor, 240);
  EXPECT_EQ(info.libraryVersion.major * 100 + info.libraryVersion.minor, 100);
  EXPECT_EQ(info.flags, 0u);
  // Blank-padded, not NUL-terminated.
  EXPECT_EQ(std::string(reinterpret_cast<char*>(info.manufacturerID), 32), "QM" + std::string(30, ' '));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(info.libraryDescription), 32),
            "KX2 token PKCS#11 module" + std::string(8, ' '));
  for (CK_BBOOL token_present : {CK_FALSE, CK_TRUE}) {
    CK_SLOT_ID slots[4] = {7, 7, 7, 7};
    CK_ULONG count = 99;
    EXPECT_EQ(p11_->C_GetSlotList(token_present, nullptr, &count), CKR_OK);  // the size query
    EXPECT_EQ(count, 0u);
    count = 4;
    EXPECT_EQ(p11_->C_GetSlotList(token_present, slots, &count), CKR_OK);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(slots[0], 7u);
  }
}

DWORD WINAPI WaitForSlotEventThread(LPVOID p11) {
  CK_SLOT_ID slot = 0;
  return static_cast<DWORD>(static_cast<CK_FUNCTION_LIST*>(p11)->C_WaitForSlotEvent(0, &slot, nullptr));
}

TEST_F(P11Test, ABlockingWaitSleepsUntilFinalize) {
  for (int session = 0; session < 2; ++session) {  // and again after a new C_Initialize
    ASSERT_EQ(p11_->C_Initialize(nullptr), CKR_OK);
    qm::ScopedHandle thread(::CreateThread(nullptr, 0, WaitForSlotEventThread, p11_, 0, nullptr));
    ASSERT_TRUE(thread);
    EXPECT_EQ(::WaitForSingleObject(thread.get(), 500), static_cast<DWORD>(WAIT_TIMEOUT));
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(thread.get(), &created, &exited, &kernel, &user);
    EXPECT_LT(kernel.dwLowDateTime + user.dwLowDateTime, 50u * 10000u) << "the wait spins";  // < 50 ms of 500
    EXPECT_EQ(p11_->C_Finalize(nullptr), CKR_OK);
    ASSERT_EQ(::WaitForSingleObject(thread.get(), 5000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD rv = 0;
    ::GetExitCodeThread(thread.get(), &rv);
    EXPECT_EQ(rv, CKR_CRYPTOKI_NOT_INITIALIZED);
  }
}

}  // namespace

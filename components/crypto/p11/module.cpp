// qmp11.dll: the PKCS#11 module of the KX2 token. Slots are the tokens attached; this module
// finds none (it drives no device yet), so it lists no slot, knows no slot id and opens no
// session, and says so with the standard's codes. Its only state is whether it is initialised,
// kept atomically: it needs no mutex, so an application's locking callbacks are accepted and
// never called.
#define CRYPTOKI_EXPORTS  // CK_DEFINE_FUNCTION exports
#include "components/crypto/p11/cryptoki.h"

#include <atomic>
#include <cstring>

#include "base/win/scoped_handle.h"

namespace {

constexpr CK_FLAGS kKnownInitializeFlags = CKF_LIBRARY_CANT_CREATE_OS_THREADS | CKF_OS_LOCKING_OK;
constexpr char kManufacturer[] = "QM";
constexpr char kDescription[] = "KX2 token PKCS#11 module";

std::atomic<bool> g_initialized{false};
// Set by C_Finalize: what a blocking C_WaitForSlotEvent waits for, as no slot event can come.
qm::ScopedHandle g_finalized;

CK_RV SlotCall() { return g_initialized ? CKR_SLOT_ID_INVALID : CKR_CRYPTOKI_NOT_INITIALIZED; }
CK_RV SessionCall() { return g_initialized ? CKR_SESSION_HANDLE_INVALID : CKR_CRYPTOKI_NOT_INITIALIZED; }
// Operations the token has no use for: saved operation state, recovering signatures, dual updates.
CK_RV UnsupportedCall() { return g_initialized ? CKR_FUNCTION_NOT_SUPPORTED : CKR_CRYPTOKI_NOT_INITIALIZED; }

// Cryptoki texts are padded with blanks and not NUL-terminated.
void BlankPadded(CK_UTF8CHAR* field, size_t size, const char* text) {
  std::memset(field, ' ', size);
  std::memcpy(field, text, std::strlen(text));
}

CK_RV CheckInitializeArgs(const CK_C_INITIALIZE_ARGS* args) {
  if (args->pReserved != nullptr || (args->flags & ~kKnownInitializeFlags)) return CKR_ARGUMENTS_BAD;
  const int supplied = (args->CreateMutex != nullptr) + (args->DestroyMutex != nullptr) +
                       (args->LockMutex != nullptr) + (args->UnlockMutex != nullptr);
  return supplied == 0 || supplied == 4 ? CKR_OK : CKR_ARGUMENTS_BAD;  // all four or none
}

}  // namespace

extern "C" {

CK_DEFINE_FUNCTION(CK_RV, C_Initialize)(CK_VOID_PTR init_args) {
  if (init_args != nullptr) {
    CK_RV rv = CheckInitializeArgs(static_cast<const CK_C_INITIALIZE_ARGS*>(init_args));
    if (rv != CKR_OK) return rv;
  }
  if (g_initialized.exchange(true)) return CKR_CRYPTOKI_ALREADY_INITIALIZED;
  ::ResetEvent(g_finalized.get());
  return CKR_OK;
}

CK_DEFINE_FUNCTION(CK_RV, C_Finalize)(CK_VOID_PTR reserved) {
  if (!g_initialized) return CKR_CRYPTOKI_NOT_INITIALIZED;
  if (reserved != nullptr) return CKR_ARGUMENTS_BAD;
  if (!g_initialized.exchange(false)) return CKR_CRYPTOKI_NOT_INITIALIZED;
  ::SetEvent(g_finalized.get());
  return CKR_OK;
}

CK_DEFINE_FUNCTION(CK_RV, C_GetInfo)(CK_INFO_PTR info) {
  if (!g_initialized) return CKR_CRYPTOKI_NOT_INITIALIZED;
  if (info == nullptr) return CKR_ARGUMENTS_BAD;
  info->cryptokiVersion.major = CRYPTOKI_VERSION_MAJOR;
  info->cryptokiVersion.minor = CRYPTOKI_VERSION_MINOR;
  BlankPadded(info->manufacturerID, sizeof(info->manufacturerID), kManufacturer);
  info->flags = 0;
  BlankPadded(info->libraryDescription, sizeof(info->libraryDescription), kDescription);
  info->libraryVersion.major = QM_CRYPTO_VERSION_MAJOR;
  info->libraryVersion.minor = QM_CRYPTO_VERSION_MINOR;
  return CKR_OK;
}

CK_DEFINE_FUNCTION(CK_RV, C_GetSlotList)(CK_BBOOL /*token_present*/, CK_SLOT_ID_PTR /*slot_list*/,
                                         CK_ULONG_PTR count) {
  if (!g_initialized) return CKR_CRYPTOKI_NOT_INITIALIZED;
  if (count == nullptr) return CKR_ARGUMENTS_BAD;
  *count = 0;  // no token attached, so no slot, with or without a token in it
  return CKR_OK;
}

CK_DEFINE_FUNCTION(CK_RV, C_GetSlotInfo)(CK_SLOT_ID /*slot*/, CK_SLOT_INFO_PTR info) {
  if (g_initialized && info == nullptr) return CKR_ARGUMENTS_BAD;
  return SlotCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_GetTokenInfo)(CK_SLOT_ID /*slot*/, CK_TOKEN_INFO_PTR info) {
  if (g_initialized && info == nullptr) return CKR_ARGUMENTS_BAD;
  return SlotCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_WaitForSlotEvent)(CK_FLAGS flags, CK_SLOT_ID_PTR slot, CK_VOID_PTR reserved) {
  if (!g_initialized) return CKR_CRYPTOKI_NOT_INITIALIZED;
  if (slot == nullptr || reserved != nullptr) return CKR_ARGUMENTS_BAD;
  if (flags & CKF_DONT_BLOCK) return CKR_NO_EVENT;
  // Blocks without using the processor until C_Finalize, which ends every wait this way.
  ::WaitForSingleObject(g_finalized.get(), INFINITE);
  return CKR_CRYPTOKI_NOT_INITIALIZED;
}

CK_DEFINE_FUNCTION(CK_RV, C_GetMechanismList)(CK_SLOT_ID /*slot*/, CK_MECHANISM_TYPE_PTR /*list*/,
                                              CK_ULONG_PTR count) {
  if (g_initialized && count == nullptr) return CKR_ARGUMENTS_BAD;
  return SlotCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_GetMechanismInfo)(CK_SLOT_ID /*slot*/, CK_MECHANISM_TYPE /*type*/,
                                              CK_MECHANISM_INFO_PTR info) {
  if (g_initialized && info == nullptr) return CKR_ARGUMENTS_BAD;
  return SlotCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_InitToken)(CK_SLOT_ID /*slot*/, CK_UTF8CHAR_PTR /*pin*/, CK_ULONG /*pin_len*/,
                                       CK_UTF8CHAR_PTR label) {
  if (g_initialized && label == nullptr) return CKR_ARGUMENTS_BAD;
  return SlotCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_OpenSession)(CK_SLOT_ID /*slot*/, CK_FLAGS /*flags*/, CK_VOID_PTR /*application*/,
                                         CK_NOTIFY /*notify*/, CK_SESSION_HANDLE_PTR session) {
  if (g_initialized && session == nullptr) return CKR_ARGUMENTS_BAD;
  return SlotCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_CloseAllSessions)(CK_SLOT_ID /*slot*/) { return SlotCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_InitPIN)(CK_SESSION_HANDLE, CK_UTF8CHAR_PTR, CK_ULONG) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_SetPIN)(CK_SESSION_HANDLE, CK_UTF8CHAR_PTR, CK_ULONG, CK_UTF8CHAR_PTR, CK_ULONG) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_CloseSession)(CK_SESSION_HANDLE) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_GetSessionInfo)(CK_SESSION_HANDLE, CK_SESSION_INFO_PTR) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_GetOperationState)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG_PTR) {
  return UnsupportedCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_SetOperationState)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_OBJECT_HANDLE,
                                               CK_OBJECT_HANDLE) {
  return UnsupportedCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_Login)(CK_SESSION_HANDLE, CK_USER_TYPE, CK_UTF8CHAR_PTR, CK_ULONG) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_Logout)(CK_SESSION_HANDLE) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_CreateObject)(CK_SESSION_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG, CK_OBJECT_HANDLE_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_CopyObject)(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG,
                                        CK_OBJECT_HANDLE_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_DestroyObject)(CK_SESSION_HANDLE, CK_OBJECT_HANDLE) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_GetObjectSize)(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ULONG_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_GetAttributeValue)(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_SetAttributeValue)(CK_SESSION_HANDLE, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_FindObjectsInit)(CK_SESSION_HANDLE, CK_ATTRIBUTE_PTR, CK_ULONG) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_FindObjects)(CK_SESSION_HANDLE, CK_OBJECT_HANDLE_PTR, CK_ULONG, CK_ULONG_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_FindObjectsFinal)(CK_SESSION_HANDLE) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_EncryptInit)(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_Encrypt)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_EncryptUpdate)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_EncryptFinal)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG_PTR) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_DecryptInit)(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_Decrypt)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_DecryptUpdate)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_DecryptFinal)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG_PTR) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_DigestInit)(CK_SESSION_HANDLE, CK_MECHANISM_PTR) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_Digest)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_DigestUpdate)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_DigestKey)(CK_SESSION_HANDLE, CK_OBJECT_HANDLE) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_DigestFinal)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG_PTR) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_SignInit)(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_Sign)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_SignUpdate)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_SignFinal)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG_PTR) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_SignRecoverInit)(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE) {
  return UnsupportedCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_SignRecover)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR) {
  return UnsupportedCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_VerifyInit)(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_Verify)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_VerifyUpdate)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_VerifyFinal)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_VerifyRecoverInit)(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE) {
  return UnsupportedCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_VerifyRecover)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR) {
  return UnsupportedCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_DigestEncryptUpdate)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR,
                                                 CK_ULONG_PTR) {
  return UnsupportedCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_DecryptDigestUpdate)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR,
                                                 CK_ULONG_PTR) {
  return UnsupportedCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_SignEncryptUpdate)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR, CK_ULONG_PTR) {
  return UnsupportedCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_DecryptVerifyUpdate)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG, CK_BYTE_PTR,
                                                 CK_ULONG_PTR) {
  return UnsupportedCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_GenerateKey)(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_ATTRIBUTE_PTR, CK_ULONG,
                                         CK_OBJECT_HANDLE_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_GenerateKeyPair)(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_ATTRIBUTE_PTR, CK_ULONG,
                                             CK_ATTRIBUTE_PTR, CK_ULONG, CK_OBJECT_HANDLE_PTR, CK_OBJECT_HANDLE_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_WrapKey)(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE, CK_OBJECT_HANDLE,
                                     CK_BYTE_PTR, CK_ULONG_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_UnwrapKey)(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE, CK_BYTE_PTR, CK_ULONG,
                                       CK_ATTRIBUTE_PTR, CK_ULONG, CK_OBJECT_HANDLE_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_DeriveKey)(CK_SESSION_HANDLE, CK_MECHANISM_PTR, CK_OBJECT_HANDLE, CK_ATTRIBUTE_PTR,
                                       CK_ULONG, CK_OBJECT_HANDLE_PTR) {
  return SessionCall();
}

CK_DEFINE_FUNCTION(CK_RV, C_SeedRandom)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG) { return SessionCall(); }

CK_DEFINE_FUNCTION(CK_RV, C_GenerateRandom)(CK_SESSION_HANDLE, CK_BYTE_PTR, CK_ULONG) { return SessionCall(); }

// Legacy functions: the standard has them answer this and nothing else.
CK_DEFINE_FUNCTION(CK_RV, C_GetFunctionStatus)(CK_SESSION_HANDLE) {
  return g_initialized ? CKR_FUNCTION_NOT_PARALLEL : CKR_CRYPTOKI_NOT_INITIALIZED;
}

CK_DEFINE_FUNCTION(CK_RV, C_CancelFunction)(CK_SESSION_HANDLE) {
  return g_initialized ? CKR_FUNCTION_NOT_PARALLEL : CKR_CRYPTOKI_NOT_INITIALIZED;
}

CK_DEFINE_FUNCTION(CK_RV, C_GetFunctionList)(CK_FUNCTION_LIST_PTR_PTR list);

}  // extern "C"

namespace {

CK_FUNCTION_LIST g_function_list = {
    {CRYPTOKI_VERSION_MAJOR, CRYPTOKI_VERSION_MINOR},
    C_Initialize,
    C_Finalize,
    C_GetInfo,
    C_GetFunctionList,
    C_GetSlotList,
    C_GetSlotInfo,
    C_GetTokenInfo,
    C_GetMechanismList,
    C_GetMechanismInfo,
    C_InitToken,
    C_InitPIN,
    C_SetPIN,
    C_OpenSession,
    C_CloseSession,
    C_CloseAllSessions,
    C_GetSessionInfo,
    C_GetOperationState,
    C_SetOperationState,
    C_Login,
    C_Logout,
    C_CreateObject,
    C_CopyObject,
    C_DestroyObject,
    C_GetObjectSize,
    C_GetAttributeValue,
    C_SetAttributeValue,
    C_FindObjectsInit,
    C_FindObjects,
    C_FindObjectsFinal,
    C_EncryptInit,
    C_Encrypt,
    C_EncryptUpdate,
    C_EncryptFinal,
    C_DecryptInit,
    C_Decrypt,
    C_DecryptUpdate,
    C_DecryptFinal,
    C_DigestInit,
    C_Digest,
    C_DigestUpdate,
    C_DigestKey,
    C_DigestFinal,
    C_SignInit,
    C_Sign,
    C_SignUpdate,
    C_SignFinal,
    C_SignRecoverInit,
    C_SignRecover,
    C_VerifyInit,
    C_Verify,
    C_VerifyUpdate,
    C_VerifyFinal,
    C_VerifyRecoverInit,
    C_VerifyRecover,
    C_DigestEncryptUpdate,
    C_DecryptDigestUpdate,
    C_SignEncryptUpdate,
    C_DecryptVerifyUpdate,
    C_GenerateKey,
    C_GenerateKeyPair,
    C_WrapKey,
    C_UnwrapKey,
    C_DeriveKey,
    C_SeedRandom,
    C_GenerateRandom,
    C_GetFunctionStatus,
    C_CancelFunction,
    C_WaitForSlotEvent,
};

}  // namespace

// Callable before C_Initialize, as the standard requires.
extern "C" CK_DEFINE_FUNCTION(CK_RV, C_GetFunctionList)(CK_FUNCTION_LIST_PTR_PTR list) {
  if (list == nullptr) return CKR_ARGUMENTS_BAD;
  *list = &g_function_list;
  return CKR_OK;
}

BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_finalized.Reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    return g_finalized.is_valid();
  }
  if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    g_initialized = false;
    g_finalized.Reset();
  }
  return TRUE;
}

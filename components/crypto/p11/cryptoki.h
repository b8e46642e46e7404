// Cryptoki 2.40 on Windows, from the standard header Debian ships with p11-kit. The standard
// leaves the platform conventions to the includer; on Windows they are: cdecl functions (the
// compiler's default for functions and pointers alike), structures packed to 1 byte, and the
// macros below. p11-kit's header also packs when _WIN32 is set and defines CK_DEFINE_FUNCTION
// itself (dllexport when CRYPTOKI_EXPORTS is set, as the module sets it); the asserts at the
// end hold both to the layout every other Windows module and application uses.
#ifndef QM_COMPONENTS_CRYPTO_P11_CRYPTOKI_H_
#define QM_COMPONENTS_CRYPTO_P11_CRYPTOKI_H_

// First: the header names a CK_C_INITIALIZE_ARGS member CreateMutex, which windows.h turns
// into CreateMutexA; with windows.h always ahead, every file sees the same member name.
#include <windows.h>

#include <cstddef>

#define CK_PTR *
#define CK_DECLARE_FUNCTION(returnType, name) returnType __declspec(dllimport) name
#define CK_DECLARE_FUNCTION_POINTER(returnType, name) returnType __declspec(dllimport)(*name)
#define CK_CALLBACK_FUNCTION(returnType, name) returnType(*name)
#ifndef NULL_PTR
#define NULL_PTR 0
#endif

#pragma pack(push, cryptoki, 1)
#include <p11-kit/pkcs11.h>
#pragma pack(pop, cryptoki)

static_assert(sizeof(CK_ULONG) == 4 && sizeof(void*) == 4, "32-bit Windows");
static_assert(offsetof(CK_INFO, flags) == 34 && sizeof(CK_INFO) == 72, "CK_INFO packed to 1 byte");
static_assert(sizeof(CK_SLOT_INFO) == 104, "CK_SLOT_INFO packed to 1 byte");
static_assert(offsetof(CK_TOKEN_INFO, flags) == 96 && sizeof(CK_TOKEN_INFO) == 160, "CK_TOKEN_INFO packed");
static_assert(offsetof(CK_FUNCTION_LIST, C_Initialize) == 2, "CK_FUNCTION_LIST packed to 1 byte");
static_assert(sizeof(CK_FUNCTION_LIST) == 2 + 68 * sizeof(void*), "the 68 functions of Cryptoki 2.40");
static_assert(sizeof(CK_C_INITIALIZE_ARGS) == 24, "CK_C_INITIALIZE_ARGS");

#endif  // QM_COMPONENTS_CRYPTO_P11_CRYPTOKI_H_

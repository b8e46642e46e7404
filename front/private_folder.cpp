#include "front/private_folder.h"

#include <windows.h>
#include <aclapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/win/scoped_handle.h"
#include "front/os_version.h"

namespace qm {
namespace {

// Everything here is looked up: the Windows 95 family has none of it, and the front loads there.
struct SecurityApi {
  BOOL(WINAPI* open_process_token)(HANDLE, DWORD, PHANDLE) = nullptr;
  BOOL(WINAPI* get_token_information)(HANDLE, TOKEN_INFORMATION_CLASS, LPVOID, DWORD, PDWORD) = nullptr;
  BOOL(WINAPI* initialize_acl)(PACL, DWORD, DWORD) = nullptr;
  BOOL(WINAPI* add_access_allowed_ace_ex)(PACL, DWORD, DWORD, DWORD, PSID) = nullptr;
  BOOL(WINAPI* initialize_security_descriptor)(PSECURITY_DESCRIPTOR, DWORD) = nullptr;
  BOOL(WINAPI* set_security_descriptor_dacl)(PSECURITY_DESCRIPTOR, BOOL, PACL, BOOL) = nullptr;
  BOOL(WINAPI* set_security_descriptor_control)(PSECURITY_DESCRIPTOR, SECURITY_DESCRIPTOR_CONTROL,
                                                SECURITY_DESCRIPTOR_CONTROL) = nullptr;
  DWORD(WINAPI* get_named_security_info)(LPCSTR, SE_OBJECT_TYPE, SECURITY_INFORMATION, PSID*, PSID*, PACL*, PACL*,
                                         PSECURITY_DESCRIPTOR*) = nullptr;
  BOOL(WINAPI* convert_sid_to_string_sid)(PSID, LPSTR*) = nullptr;

  bool Load() {
    HMODULE advapi = ::GetModuleHandleA("advapi32.dll");  // shlwapi's import: loaded with the front
    return advapi && Bind(advapi, "OpenProcessToken", &open_process_token) &&
           Bind(advapi, "GetTokenInformation", &get_token_information) && Bind(advapi, "InitializeAcl", &initialize_acl) &&
           Bind(advapi, "AddAccessAllowedAceEx", &add_access_allowed_ace_ex) &&
           Bind(advapi, "InitializeSecurityDescriptor", &initialize_security_descriptor) &&
           Bind(advapi, "SetSecurityDescriptorDacl", &set_security_descriptor_dacl) &&
           Bind(advapi, "SetSecurityDescriptorControl", &set_security_descriptor_control) &&
           Bind(advapi, "GetNamedSecurityInfoA", &get_named_security_info) &&
           Bind(advapi, "ConvertSidToStringSidA", &convert_sid_to_string_sid);
  }

 private:
  template <typename Fn>
  static bool Bind(HMODULE module, const char* name, Fn* out) {
    *out = reinterpret_cast<Fn>(::GetProcAddress(module, name));
    return *out != nullptr;
  }
};

// A SID of at most two sub-authorities, laid out as the system lays SIDs out.
struct WellKnownSid {
  BYTE revision;
  BYTE sub_authority_count;
  BYTE authority[6];
  DWORD sub_authority[2];
};
const WellKnownSid kLocalSystem = {SID_REVISION, 1, {0, 0, 0, 0, 0, 5}, {SECURITY_LOCAL_SYSTEM_RID, 0}};
const WellKnownSid kAdministrators = {
    SID_REVISION, 2, {0, 0, 0, 0, 0, 5}, {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};

PSID AsSid(const WellKnownSid& sid) { return const_cast<WellKnownSid*>(&sid); }

std::string SidText(const SecurityApi& api, PSID sid) {
  char* text = nullptr;
  if (!sid || !api.convert_sid_to_string_sid(sid, &text)) return std::string();
  std::string out = text;
  ::LocalFree(text);
  return out;
}

// The running account's SID, in |buffer|.
PSID ProcessUser(const SecurityApi& api, char (&buffer)[256]) {
  HANDLE raw = nullptr;
  if (!api.open_process_token(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return nullptr;
  ScopedHandle token(raw);
  DWORD needed = 0;
  if (!api.get_token_information(token.get(), TokenUser, buffer, sizeof(buffer), &needed)) return nullptr;
  return reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
}

FolderAccess CreatePrivate(const SecurityApi& api, const char* folder, PSID user) {
  alignas(DWORD) char acl_buffer[512];
  PACL acl = reinterpret_cast<PACL>(acl_buffer);
  const DWORD inherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  SECURITY_DESCRIPTOR descriptor;
  if (!api.initialize_acl(acl, sizeof(acl_buffer), ACL_REVISION) ||
      !api.add_access_allowed_ace_ex(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, user) ||
      !api.add_access_allowed_ace_ex(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, AsSid(kLocalSystem)) ||
      !api.add_access_allowed_ace_ex(acl, ACL_REVISION, inherit, FILE_ALL_ACCESS, AsSid(kAdministrators)) ||
      !api.initialize_security_descriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) ||
      !api.set_security_descriptor_dacl(&descriptor, TRUE, acl, FALSE) ||
      !api.set_security_descriptor_control(&descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
    return FolderAccess::kFailed;
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
  if (::CreateDirectoryA(folder, &attributes)) return FolderAccess::kPrivate;
  return ::GetLastError() == ERROR_ALREADY_EXISTS ? FolderAccess::kForeign : FolderAccess::kFailed;
}

// An existing folder, judged by its owner and DACL; one that leads elsewhere is foreign.
FolderAccess CheckExisting(const SecurityApi& api, const char* folder, PSID user) {
  const DWORD attributes = ::GetFileAttributesA(folder);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return FolderAccess::kFailed;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return FolderAccess::kForeign;
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (api.get_named_security_info(folder, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                  &owner, nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS)
    return FolderAccess::kFailed;
  std::vector<AllowedEntry> allowed;
  const BYTE* ace = dacl ? reinterpret_cast<const BYTE*>(dacl + 1) : nullptr;
  for (WORD i = 0; dacl && i < dacl->AceCount; ++i) {
    const ACE_HEADER* header = reinterpret_cast<const ACE_HEADER*>(ace);
    if (header->AceType == ACCESS_ALLOWED_ACE_TYPE) {
      const ACCESS_ALLOWED_ACE* entry = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(ace);
      allowed.push_back({SidText(api, const_cast<DWORD*>(&entry->SidStart)), entry->Mask, header->AceFlags});
    }
    ace += header->AceSize;
  }
  const FolderAccess access = JudgeFolder(SidText(api, owner), dacl ? &allowed : nullptr, SidText(api, user));
  ::LocalFree(descriptor);
  return access;
}

}  // namespace

FolderAccess EnsurePrivateFolder(const char* folder) {
  if (!FrontRunsOnNt()) {
    if (::CreateDirectoryA(folder, nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS) return FolderAccess::kPrivate;
    return FolderAccess::kFailed;
  }
  SecurityApi api;
  alignas(TOKEN_USER) char user_buffer[256];
  PSID user = api.Load() ? ProcessUser(api, user_buffer) : nullptr;
  if (!user) return FolderAccess::kFailed;
  FolderAccess access = CreatePrivate(api, folder, user);
  return access == FolderAccess::kForeign ? CheckExisting(api, folder, user) : access;
}

}  // namespace qm

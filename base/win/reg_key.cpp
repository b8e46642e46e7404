#include "base/win/reg_key.h"

#include <shlwapi.h>

#include <vector>

namespace qm {

LONG RegKey::Open(HKEY root, const char* subkey, REGSAM access) {
  HKEY key = nullptr;
  LONG status = ::RegOpenKeyExA(root, subkey, 0, access, &key);
  if (status == ERROR_SUCCESS) {
    Close();
    key_ = key;
  }
  return status;
}

LONG RegKey::Create(HKEY root, const char* subkey) {
  HKEY key = nullptr;
  LONG status = ::RegCreateKeyA(root, subkey, &key);
  if (status == ERROR_SUCCESS) {
    Close();
    key_ = key;
  }
  return status;
}

LONG RegKey::OpenOrCreate(HKEY root, const char* subkey) {
  LONG status = Open(root, subkey, KEY_ALL_ACCESS);
  if (status == ERROR_FILE_NOT_FOUND) status = Create(root, subkey);
  return status;
}

void RegKey::Close() {
  if (key_) ::RegCloseKey(key_);
  key_ = nullptr;
}

LONG RegKey::ReadString(const char* name, std::string* out) const {
  DWORD type = 0;
  DWORD size = 0;
  LONG status = ::RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size);
  if (status != ERROR_SUCCESS) return status;
  if (type != REG_SZ && type != REG_EXPAND_SZ && type != REG_MULTI_SZ) return ERROR_INVALID_DATATYPE;
  std::vector<char> data(size + 1, '\0');
  status = ::RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
  if (status != ERROR_SUCCESS) return status;
  // Stored data may or may not count a terminating NUL; cut at the first one.
  out->assign(data.data(), strnlen(data.data(), size));
  return ERROR_SUCCESS;
}

LONG RegKey::ReadDword(const char* name, DWORD* out) const {
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof(value);
  LONG status = ::RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  if (status != ERROR_SUCCESS) return status;
  if (type != REG_DWORD || size != sizeof(value)) return ERROR_INVALID_DATATYPE;
  *out = value;
  return ERROR_SUCCESS;
}

RegCount RegKey::ReadCount(const char* name, DWORD* out) const {
  DWORD value = 0;
  DWORD size = sizeof(value);
  LONG status = ::RegQueryValueExA(key_, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
  if (status == ERROR_FILE_NOT_FOUND) return RegCount::kAbsent;
  if (status != ERROR_SUCCESS) return RegCount::kFailed;
  *out = value;
  return RegCount::kPresent;
}

LONG RegKey::WriteString(const char* name, const std::string& value) const {
  // The data length does not count the terminating NUL: other installers of the family read it so.
  return ::RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size()));
}

LONG RegKey::WriteDword(const char* name, DWORD value) const {
  return ::RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

LONG RegKey::WriteRaw(const char* name, DWORD type, const void* data, DWORD size) const {
  return ::RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), size);
}

LONG RegKey::DeleteValue(const char* name) const { return ::RegDeleteValueA(key_, name); }

LONG RegKey::DeleteSubKey(const char* name) const { return ::RegDeleteKeyA(key_, name); }

LONG RegKey::DeleteSubKeyTree(const char* name) const { return static_cast<LONG>(::SHDeleteKeyA(key_, name)); }

bool RegKey::HasAnyValue() const {
  char name[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  LONG status = ::RegEnumValueA(key_, 0, name, &size, nullptr, nullptr, nullptr, nullptr);
  return status == ERROR_SUCCESS || status == ERROR_MORE_DATA;
}

bool RegKey::HasAnySubKey() const {
  char name[MAX_PATH] = {};
  return ::RegEnumKeyA(key_, 0, name, MAX_PATH) == ERROR_SUCCESS;
}

bool RegKey::HasValue(const char* name) const {
  return ::RegQueryValueExA(key_, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace qm

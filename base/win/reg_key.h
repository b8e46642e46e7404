// Move-only owner of an HKEY. Reads leave their out-parameter untouched on failure.
#ifndef QM_BASE_WIN_REG_KEY_H_
#define QM_BASE_WIN_REG_KEY_H_

#include <windows.h>

#include <string>
#include <utility>

namespace qm {

// How a count (a 4-byte value) reads: present with any type and a size of at most 4 bytes,
// absent (ERROR_FILE_NOT_FOUND), or unreadable for another reason (too long, access, ...).
enum class RegCount { kPresent, kAbsent, kFailed };

class RegKey {
 public:
  RegKey() = default;
  RegKey(RegKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
  RegKey& operator=(RegKey&& other) noexcept {
    if (this != &other) {
      Close();
      key_ = std::exchange(other.key_, nullptr);
    }
    return *this;
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() { Close(); }

  // Each returns the Win32 status (ERROR_SUCCESS on success).
  LONG Open(HKEY root, const char* subkey, REGSAM access);
  // RegCreateKeyA semantics: opens an existing key or creates it, with full access.
  LONG Create(HKEY root, const char* subkey);
  // Opens with KEY_ALL_ACCESS; creates the key only when the open fails with
  // ERROR_FILE_NOT_FOUND. Any other open failure is returned as it is.
  LONG OpenOrCreate(HKEY root, const char* subkey);
  void Close();
  // Takes ownership of an open key.
  void Adopt(HKEY key) {
    Close();
    key_ = key;
  }

  bool is_valid() const { return key_ != nullptr; }
  HKEY get() const { return key_; }

  LONG ReadString(const char* name, std::string* out) const;
  LONG ReadDword(const char* name, DWORD* out) const;
  // A 4-byte read into a zeroed buffer whatever the value's type; |out| is set only when present.
  RegCount ReadCount(const char* name, DWORD* out) const;
  LONG WriteString(const char* name, const std::string& value) const;
  LONG WriteDword(const char* name, DWORD value) const;
  // Any type and data; |size| bytes are stored as given (a REG_MULTI_SZ brings its own NULs).
  LONG WriteRaw(const char* name, DWORD type, const void* data, DWORD size) const;
  LONG DeleteValue(const char* name) const;
  bool HasValue(const char* name) const;
  // RegDeleteKeyA of a direct subkey (which must have no subkeys on NT).
  LONG DeleteSubKey(const char* name) const;
  // The subkey with everything below it (SHDeleteKeyA).
  LONG DeleteSubKeyTree(const char* name) const;
  // A value, or a subkey, at index 0.
  bool HasAnyValue() const;
  bool HasAnySubKey() const;

 private:
  HKEY key_ = nullptr;
};

}  // namespace qm

#endif  // QM_BASE_WIN_REG_KEY_H_

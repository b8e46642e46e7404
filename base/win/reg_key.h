// Move-only owner of an HKEY. Reads leave their out-parameter untouched on failure.
#ifndef QM_BASE_WIN_REG_KEY_H_
#define QM_BASE_WIN_REG_KEY_H_

#include <windows.h>

#include <string>
#include <utility>

namespace qm {

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
  void Close();

  bool is_valid() const { return key_ != nullptr; }
  HKEY get() const { return key_; }

  LONG ReadString(const char* name, std::string* out) const;
  LONG ReadDword(const char* name, DWORD* out) const;
  LONG WriteString(const char* name, const std::string& value) const;
  LONG WriteDword(const char* name, DWORD value) const;
  LONG DeleteValue(const char* name) const;
  bool HasValue(const char* name) const;

 private:
  HKEY key_ = nullptr;
};

}  // namespace qm

#endif  // QM_BASE_WIN_REG_KEY_H_

// Move-only owner of a C stdio stream. Portable: used by the package reader and the log writer.
#ifndef QM_BASE_SCOPED_FILE_H_
#define QM_BASE_SCOPED_FILE_H_

#include <cstdio>
#include <utility>

namespace qm {

class ScopedFile {
 public:
  ScopedFile() = default;
  explicit ScopedFile(std::FILE* f) : file_(f) {}
  ScopedFile(ScopedFile&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}
  ScopedFile& operator=(ScopedFile&& other) noexcept {
    if (this != &other) Reset(std::exchange(other.file_, nullptr));
    return *this;
  }
  ScopedFile(const ScopedFile&) = delete;
  ScopedFile& operator=(const ScopedFile&) = delete;
  ~ScopedFile() { Reset(); }

  std::FILE* get() const { return file_; }
  bool is_valid() const { return file_ != nullptr; }
  explicit operator bool() const { return is_valid(); }

  // Closes the current stream (if any) and takes ownership of |f|.
  // Returns false when closing the old stream reported an error.
  bool Reset(std::FILE* f = nullptr) {
    bool ok = true;
    if (file_) ok = std::fclose(file_) == 0;
    file_ = f;
    return ok;
  }

 private:
  std::FILE* file_ = nullptr;
};

}  // namespace qm

#endif  // QM_BASE_SCOPED_FILE_H_

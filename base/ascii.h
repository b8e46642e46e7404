// Case folding for names the system compares "ignoring case": only A-Z and a-z are folded, so a
// comparison never depends on the user's locale (under a Turkish one, "I" and "i" are not a pair
// for lstrcmpiA) nor touches bytes above 0x7F.
#ifndef QM_BASE_ASCII_H_
#define QM_BASE_ASCII_H_

#include <string>

namespace qm {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLower(std::string text) {
  for (char& c : text) c = AsciiLower(c);
  return text;
}

inline bool AsciiEqualIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

}  // namespace qm

#endif  // QM_BASE_ASCII_H_

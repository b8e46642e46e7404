#include "components/crypto/cspinst/registration_text.h"

#include <vector>

namespace qm {
namespace {

constexpr size_t kFieldCount = 4;

// A quote cannot be part of a Windows path or of a double-byte character's trail byte, so the
// fields split unambiguously even when a path holds ";".
bool SplitQuotedFields(const std::string& text, std::vector<std::string>* fields) {
  size_t at = 0;
  for (;;) {
    if (at >= text.size() || text[at] != '"') return false;
    size_t close = text.find('"', at + 1);
    if (close == std::string::npos) return false;
    fields->push_back(text.substr(at + 1, close - at - 1));
    at = close + 1;
    if (at == text.size()) return true;
    if (text[at] != ';') return false;
    ++at;
  }
}

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > kRegistrationNameMax) return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7F || c == '\\') return false;
  return true;
}

bool ValidPath(const std::string& path) { return !path.empty() && path.size() <= kRegistrationPathMax; }

}  // namespace

bool ParseCspRegistration(const char* text, CspRegistration* out) {
  if (text == nullptr) return false;
  std::vector<std::string> fields;
  if (!SplitQuotedFields(text, &fields) || fields.size() != kFieldCount) return false;
  CspRegistration parsed;
  if (fields[0] == "i") {
    parsed.mode = RegistrationMode::kInstall;
    if (!ValidPath(fields[1]) || !ValidPath(fields[2])) return false;
  } else if (fields[0] == "u") {
    parsed.mode = RegistrationMode::kUninstall;
  } else {
    return false;
  }
  if (!ValidName(fields[3])) return false;
  parsed.library_path = fields[1];
  parsed.signature_path = fields[2];
  parsed.name = fields[3];
  *out = parsed;
  return true;
}

}  // namespace qm

#include "components/runtime/hidreg/hid_text.h"

#include "components/runtime/common/runtime_codes.h"

namespace qm {
namespace {

// The registry's limit for a key name.
constexpr size_t kMaxKeyName = 255;

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool ParseNumber(const std::string& text, uint32_t* out) {
  if (text.empty() || text.size() > 10) return false;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > 0xFFFFFFFFull) return false;
  *out = static_cast<uint32_t>(value);
  return true;
}

// A name that becomes a registry key of its own: no level separator, nothing unprintable.
bool IsKeyName(const std::string& text) {
  if (text.size() > kMaxKeyName) return false;
  for (char c : text)
    if (c == '\\' || static_cast<unsigned char>(c) < 0x20) return false;
  return true;
}

bool AnyEmpty(const std::vector<std::string>& fields) {
  for (const std::string& field : fields)
    if (field.empty()) return true;
  return false;
}

}  // namespace

std::vector<std::string> SplitFields(const std::string& text, char separator) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) {
      fields.push_back(text.substr(start));
      return fields;
    }
    fields.push_back(text.substr(start, end - start));
    start = end + 1;
  }
}

bool NormalizeVidPid(const std::string& text, std::string* out) {
  if (text.size() != 9 || text[4] != '&') return false;
  std::string normal(text);
  for (size_t i = 0; i < normal.size(); ++i) {
    if (i == 4) continue;
    if (!IsHex(normal[i])) return false;
    normal[i] = Upper(normal[i]);
  }
  *out = normal;
  return true;
}

bool VidPidFromDevicePath(const std::string& path, std::string* vid_pid) {
  std::string lower(path);
  for (char& c : lower) c = Lower(c);
  const std::string vid = "vid_";
  const std::string pid = "&pid_";
  for (size_t at = lower.find(vid); at != std::string::npos; at = lower.find(vid, at + 1)) {
    size_t v = at + vid.size();
    size_t p = v + 4 + pid.size();
    if (p + 4 > lower.size() || lower.compare(v + 4, pid.size(), pid) != 0) continue;
    std::string candidate = lower.substr(v, 4) + "&" + lower.substr(p, 4);
    if (NormalizeVidPid(candidate, vid_pid)) return true;
  }
  return false;
}

HidRegResult ParseHidDeviceEntry(const char* text, HidDeviceEntry* out) {
  if (!text) return HidRegResult::kNoText;
  std::vector<std::string> fields = SplitFields(text, ';');
  if (fields.size() != 5) return HidRegResult::kFieldCount;
  if (AnyEmpty(fields)) return HidRegResult::kEmptyField;
  HidDeviceEntry entry;
  if (!ParseNumber(fields[0], &entry.product_num) || !ParseNumber(fields[4], &entry.read_num))
    return HidRegResult::kBadNumber;
  if (!IsKeyName(fields[1]) || !IsKeyName(fields[2])) return HidRegResult::kBadName;
  if (!NormalizeVidPid(fields[3], &entry.vid_pid)) return HidRegResult::kBadVidPid;
  entry.product_guid = fields[1];
  entry.monitor_id = fields[2];
  *out = entry;
  return HidRegResult::kOk;
}

HidRegResult ParseHidProductRef(const char* text, HidProductRef* out) {
  if (!text) return HidRegResult::kNoText;
  std::vector<std::string> fields = SplitFields(text, ';');
  if (fields.size() != 2) return HidRegResult::kFieldCount;
  if (AnyEmpty(fields)) return HidRegResult::kEmptyField;
  HidProductRef ref;
  if (!IsKeyName(fields[0])) return HidRegResult::kBadName;
  if (!ParseNumber(fields[1], &ref.product_num)) return HidRegResult::kBadNumber;
  ref.product_guid = fields[0];
  *out = ref;
  return HidRegResult::kOk;
}

}  // namespace qm

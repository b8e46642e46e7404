#include "components/crypto/csp/algorithm_table.h"

#include <cerrno>
#include <cstdlib>

namespace qm {
namespace {

constexpr size_t kFieldCount = 7;

std::string Trim(const std::string& s) {
  size_t begin = s.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  size_t end = s.find_last_not_of(" \t");
  return s.substr(begin, end - begin + 1);
}

bool ParseNumber(const std::string& field, uint32_t* out) {
  if (field.empty() || field[0] < '0' || field[0] > '9') return false;  // no sign, no blank
  errno = 0;
  char* end = nullptr;
  unsigned long value = std::strtoul(field.c_str(), &end, 0);
  if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFul) return false;
  *out = static_cast<uint32_t>(value);
  return true;
}

bool Printable(const std::string& s, bool blanks_allowed) {
  for (unsigned char c : s)
    if (c < 0x20 || c > 0x7E || (c == ' ' && !blanks_allowed)) return false;
  return true;
}

bool ParseLine(const std::string& line, AlgorithmEntry* entry) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    size_t bar = line.find('|', start);
    fields.push_back(Trim(line.substr(start, bar == std::string::npos ? std::string::npos : bar - start)));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  if (fields.size() != kFieldCount) return false;
  uint32_t* numbers[] = {&entry->id, &entry->default_bits, &entry->min_bits, &entry->max_bits, &entry->protocols};
  for (size_t i = 0; i < 5; ++i)
    if (!ParseNumber(fields[i], numbers[i])) return false;
  entry->name = fields[5];
  entry->long_name = fields[6];
  if (entry->id == 0 || entry->min_bits > entry->default_bits || entry->default_bits > entry->max_bits) return false;
  if (entry->name.empty() || entry->name.size() > kAlgorithmNameMax || !Printable(entry->name, true)) return false;
  return !entry->long_name.empty() && entry->long_name.size() <= kAlgorithmLongNameMax &&
         Printable(entry->long_name, true);
}

}  // namespace

bool ParseAlgorithmTable(const std::string& text, std::vector<AlgorithmEntry>* out) {
  std::vector<AlgorithmEntry> table;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    AlgorithmEntry entry;
    if (!ParseLine(line, &entry) || table.size() == kAlgorithmTableMax) return false;
    for (const AlgorithmEntry& seen : table)
      if (seen.id == entry.id) return false;
    table.push_back(entry);
  }
  if (table.empty()) return false;
  *out = table;
  return true;
}

}  // namespace qm

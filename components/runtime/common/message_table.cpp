#include "components/runtime/common/message_table.h"

#include <algorithm>

namespace qm {
namespace {

constexpr unsigned kEnglish = 1033;
constexpr unsigned kSimplifiedChinese = 2052;
constexpr unsigned kTraditionalChinese = 1028;
constexpr unsigned kChineseDefault = 4444;
constexpr unsigned kPrimaryChinese = 0x04;

void AddOnce(std::vector<unsigned>* ids, unsigned id) {
  if (std::find(ids->begin(), ids->end(), id) == ids->end()) ids->push_back(id);
}

}  // namespace

MessageTable ParseMessageTable(const std::string& bytes) {
  MessageTable table;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';' || line[0] == '[') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    table[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return table;
}

std::vector<unsigned> LanguageCandidates(unsigned language_id) {
  std::vector<unsigned> ids;
  AddOnce(&ids, language_id);
  if ((language_id & 0x3FF) == kPrimaryChinese) {
    unsigned sub = language_id >> 10;
    // Taiwan, Hong Kong and Macao write Traditional characters; the PRC and Singapore Simplified.
    if (sub == 0x01 || sub == 0x03 || sub == 0x05) AddOnce(&ids, kTraditionalChinese);
    if (sub == 0x02 || sub == 0x04) AddOnce(&ids, kSimplifiedChinese);
    AddOnce(&ids, kChineseDefault);
  }
  AddOnce(&ids, kEnglish);
  return ids;
}

}  // namespace qm

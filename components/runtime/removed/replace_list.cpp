#include "components/runtime/removed/replace_list.h"

namespace qm {
namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsBlank(const std::string& line) {
  for (char c : line)
    if (c != ' ' && c != '\t') return false;
  return true;
}

}  // namespace

bool IsFullPath(const std::string& path) {
  if (path.size() >= 4 && IsLetter(path[0]) && path[1] == ':' && path[2] == '\\') return true;
  return path.size() >= 3 && path[0] == '\\' && path[1] == '\\' && path[2] != '\\';
}

std::string ParentFolder(const std::string& path) {
  size_t slash = path.find_last_of('\\');
  if (slash == std::string::npos) return std::string();
  if (slash == 2 && path[1] == ':') return path.substr(0, 3);
  return path.substr(0, slash);
}

ReplaceList ParseReplaceList(const std::string& bytes) {
  ReplaceList list;
  size_t start = 0;
  int number = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (IsBlank(line)) {
      ++list.blank_lines;
      continue;
    }
    bool cut = false;
    for (size_t eq = line.find('='); eq != std::string::npos; eq = line.find('=', eq + 1)) {
      std::string target = line.substr(0, eq);
      std::string source = line.substr(eq + 1);
      if (IsFullPath(target) && IsFullPath(source)) {
        list.items.push_back({target, source});
        cut = true;
        break;
      }
    }
    if (!cut) list.malformed.push_back({number, line});
  }
  return list;
}

std::string FormatReplaceList(const std::vector<ReplaceItem>& items) {
  std::string text;
  for (const ReplaceItem& item : items) text += item.target + "=" + item.source + "\r\n";
  return text;
}

}  // namespace qm

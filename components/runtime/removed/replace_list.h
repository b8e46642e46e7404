// The list of replacements left for the next logon: lines "target=source" (full paths), CR LF.
// Portable: no windows.h.
#ifndef QM_COMPONENTS_RUNTIME_REMOVED_REPLACE_LIST_H_
#define QM_COMPONENTS_RUNTIME_REMOVED_REPLACE_LIST_H_

#include <string>
#include <vector>

namespace qm {

struct ReplaceItem {
  std::string target;
  std::string source;
};

struct MalformedLine {
  int number;  // from 1
  std::string text;
};

struct ReplaceList {
  std::vector<ReplaceItem> items;
  std::vector<MalformedLine> malformed;
  int blank_lines = 0;
};

// Lines end in LF or CR LF; a last line may lack its end. A file name may itself hold "=", so a
// line is cut at the first "=" that has a full path on both sides.
ReplaceList ParseReplaceList(const std::string& bytes);
std::string FormatReplaceList(const std::vector<ReplaceItem>& items);

// "X:\..." or "\\server\...".
bool IsFullPath(const std::string& path);
// |path| up to its last "\" ("C:\a\b.dll" -> "C:\a", "C:\b.dll" -> "C:\"); empty when none.
std::string ParentFolder(const std::string& path);

}  // namespace qm

#endif  // QM_COMPONENTS_RUNTIME_REMOVED_REPLACE_LIST_H_

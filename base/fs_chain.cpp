#include "base/fs.h"

namespace qm {

bool FsCreateFolderChain(const std::string& folder) { return FsCreateFolderChainBelow(folder, 0); }

bool FsCreateFolderChainBelow(const std::string& folder, size_t existing) {
  if (FsPathExists(folder)) return true;
  std::string prefix;
  size_t start = 0;
  while (start < folder.size()) {
    size_t sep = folder.find_first_of("\\/", start);
    size_t end = sep == std::string::npos ? folder.size() : sep + 1;
    prefix.append(folder, start, end - start);
    start = end;
    if (existing > 0 && end <= existing + 1 && end < folder.size()) continue;  // at or above the known folder
    if (!FsPathExists(prefix) && !FsCreateFolder(prefix)) return false;
  }
  return true;
}

}  // namespace qm

#include "front/folder_access.h"

namespace qm {
namespace {

constexpr char kCreatorOwnerSid[] = "S-1-3-0";
constexpr uint8_t kInheritOnly = 0x08;

// What lets somebody change the folder, or put or change something in it: FILE_WRITE_DATA (add a
// file), FILE_APPEND_DATA (add a folder), FILE_WRITE_EA, FILE_DELETE_CHILD, FILE_WRITE_ATTRIBUTES,
// DELETE, WRITE_DAC, WRITE_OWNER, GENERIC_ALL and GENERIC_WRITE.
constexpr uint32_t kWriteRights = 0x0002 | 0x0004 | 0x0010 | 0x0040 | 0x0100 | 0x00010000 | 0x00040000 | 0x00080000 |
                                  0x10000000 | 0x40000000;

bool Trusted(const std::string& sid, const std::string& user) {
  return sid == user || sid == kLocalSystemSid || sid == kAdministratorsSid;
}

}  // namespace

FolderAccess JudgeFolder(const std::string& owner, const std::vector<AllowedEntry>* dacl, const std::string& user) {
  if (!dacl || !Trusted(owner, user)) return FolderAccess::kForeign;
  for (const AllowedEntry& entry : *dacl) {
    if (!(entry.rights & kWriteRights) || Trusted(entry.trustee, user)) continue;
    if (entry.trustee == kCreatorOwnerSid && (entry.inheritance & kInheritOnly)) continue;
    return FolderAccess::kForeign;
  }
  return FolderAccess::kPrivate;
}

}  // namespace qm

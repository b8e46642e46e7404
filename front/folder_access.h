// Whether a folder that is already there may serve as the private staging folder: the rule on
// its owner and DACL, apart from the calls that read them. Portable code.
#ifndef QM_FRONT_FOLDER_ACCESS_H_
#define QM_FRONT_FOLDER_ACCESS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace qm {

enum class FolderAccess {
  kPrivate,  // created with, or found with, an owner and a DACL of this account's only
  kForeign,  // another account owns it, or may write to it or to what is created in it
  kFailed,   // it could not be created, or its security could not be read
};

// An access-allowed entry of a DACL, its trustee's SID as text ("S-1-5-18").
struct AllowedEntry {
  std::string trustee;
  uint32_t rights;
  uint8_t inheritance;  // the ACE flags: OBJECT_INHERIT 0x1, CONTAINER_INHERIT 0x2, INHERIT_ONLY 0x8
};

constexpr char kLocalSystemSid[] = "S-1-5-18";
constexpr char kAdministratorsSid[] = "S-1-5-32-544";

// Private when |owner| is |user|, SYSTEM or Administrators and no allowed entry lets anybody else
// write to the folder or (inherited) to what is created in it. No DACL at all lets everybody in.
// An inherit-only CREATOR OWNER entry gives rights only to those who could create something
// there in the first place.
FolderAccess JudgeFolder(const std::string& owner, const std::vector<AllowedEntry>* dacl, const std::string& user);

}  // namespace qm

#endif  // QM_FRONT_FOLDER_ACCESS_H_

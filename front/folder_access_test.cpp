#include "front/folder_access.h"

#include <gtest/gtest.h>

namespace {

using qm::AllowedEntry;
using qm::FolderAccess;

constexpr char kUser[] = "S-1-5-21-1-2-3-1001";

TEST(FolderAccess, Judge) {
  const std::vector<AllowedEntry> ours = {
      {kUser, 0x1f01ff, 0x03}, {"S-1-5-18", 0x1f01ff, 0x03}, {"S-1-5-32-544", 0x1f01ff, 0x03}};
  // What Windows\Temp gives a folder made in it: Users may add files and folders below it.
  const std::vector<AllowedEntry> windows_temp = {
      {"S-1-3-0", 0x10000000, 0x0b}, {"S-1-5-18", 0x1f01ff, 0x03}, {"S-1-5-32-545", 0x000006, 0x02}};
  struct Row {
    const char* name;
    const char* owner;
    std::vector<AllowedEntry> dacl;
    bool has_dacl;
    FolderAccess expected;
  } const rows[] = {
      {"ours", kUser, ours, true, FolderAccess::kPrivate},
      {"owned by SYSTEM", "S-1-5-18", ours, true, FolderAccess::kPrivate},
      {"owned by Administrators", "S-1-5-32-544", ours, true, FolderAccess::kPrivate},
      {"owned by another user", "S-1-5-21-1-2-3-1002", ours, true, FolderAccess::kForeign},
      {"owned by Users", "S-1-5-32-545", ours, true, FolderAccess::kForeign},
      {"no DACL", kUser, {}, false, FolderAccess::kForeign},
      {"empty DACL", kUser, {}, true, FolderAccess::kPrivate},
      {"others may read and list", kUser, {{"S-1-1-0", 0x1200a9, 0x03}}, true, FolderAccess::kPrivate},
      {"Everyone may write", kUser, {{"S-1-1-0", 0x40000000, 0x00}}, true, FolderAccess::kForeign},
      {"Users may add files", kUser, {{"S-1-5-32-545", 0x0002, 0x00}}, true, FolderAccess::kForeign},
      {"Users may change its DACL", kUser, {{"S-1-5-32-545", 0x00040000, 0x00}}, true, FolderAccess::kForeign},
      {"Users may write what is created in it", kUser, {{"S-1-5-32-545", 0x0002, 0x09}}, true, FolderAccess::kForeign},
      {"made as SYSTEM in Windows\\Temp", "S-1-5-18", windows_temp, true, FolderAccess::kForeign},
      {"CREATOR OWNER, inherit-only", kUser, {{"S-1-3-0", 0x10000000, 0x0b}}, true, FolderAccess::kPrivate},
      {"CREATOR OWNER on the folder itself", kUser, {{"S-1-3-0", 0x10000000, 0x03}}, true, FolderAccess::kForeign},
  };
  for (const Row& row : rows)
    EXPECT_EQ(qm::JudgeFolder(row.owner, row.has_dacl ? &row.dacl : nullptr, kUser), row.expected) << row.name;
}

}  // namespace

#include "base/ascii.h"

#include <gtest/gtest.h>

namespace {

TEST(Ascii, EqualIgnoringCase) {
  struct Row {
    const char* a;
    const char* b;
    bool equal;
  } const rows[] = {
      {"Install_Driver", "INSTALL_DRIVER", true},  // not equal under a Turkish lstrcmpiA
      {"UnInstall_Driver", "uninstall_driver", true},
      {"i", "I", true},
      {"C:\\WINDOWS\\system32", "c:\\windows\\SYSTEM32", true},
      {"Install_Driver", "Install_Drive", false},
      {"Install_Driver", "Install_Driver ", false},
      // Turkish dotted capital I and dotless small i (code page 1254) are not ASCII letters.
      {"\xDDNSTALL_DRIVER", "install_driver", false},
      {"\xFDnstall_driver", "INSTALL_DRIVER", false},
      {"\xC4", "\xE4", false},  // A-umlaut pairs only under a locale's rules
      {"", "", true},
  };
  for (const Row& r : rows) EXPECT_EQ(qm::AsciiEqualIgnoringCase(r.a, r.b), r.equal) << r.a << " / " << r.b;
}

TEST(Ascii, LowerFoldsOnlyAsciiLetters) {
  EXPECT_EQ(qm::AsciiLower(std::string("[RENAME] NUL=C:\\A~1.DLL \xDD")), "[rename] nul=c:\\a~1.dll \xDD");
}

}  // namespace

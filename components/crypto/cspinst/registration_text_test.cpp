#include "components/crypto/cspinst/registration_text.h"

#include <gtest/gtest.h>

namespace {

using qm::RegistrationMode;

TEST(CspRegistrationText, WellFormedTexts) {
  struct Row {
    std::string text;
    RegistrationMode mode;
    const char* library;
    const char* signature;
    const char* name;
  };
  const Row rows[] = {
      {R"("i";"C:\windows\system32\qmcsp.dll";"C:\windows\system32\qmcsp2.sig";"QM KX2 Token CSP")",
       RegistrationMode::kInstall, R"(C:\windows\system32\qmcsp.dll)", R"(C:\windows\system32\qmcsp2.sig)",
       "QM KX2 Token CSP"},
      {R"("u";"C:\a;b\qmcsp.dll";"C:\a;b\x.sig";"N")", RegistrationMode::kUninstall, R"(C:\a;b\qmcsp.dll)",
       R"(C:\a;b\x.sig)", "N"},
      {R"("u";"";"";"QM KX2 Token CSP")", RegistrationMode::kUninstall, "", "", "QM KX2 Token CSP"},
      {"\"i\";\"" + std::string(259, 'p') + "\";\"s\";\"" + std::string(255, 'n') + "\"", RegistrationMode::kInstall,
       nullptr, "s", nullptr},
      {"\"i\";\"C:\\\xD6\xD0\xCE\xC4\\qmcsp.dll\";\"s\";\"\xB2\xE2\xCA\xD4\"", RegistrationMode::kInstall,
       "C:\\\xD6\xD0\xCE\xC4\\qmcsp.dll", "s", "\xB2\xE2\xCA\xD4"},  // code page 936 text
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    qm::CspRegistration out;
    ASSERT_TRUE(qm::ParseCspRegistration(row.text.c_str(), &out));
    EXPECT_EQ(out.mode, row.mode);
    if (row.library) EXPECT_EQ(out.library_path, row.library);
    EXPECT_EQ(out.signature_path, row.signature);
    if (row.name) EXPECT_EQ(out.name, row.name);
  }
}

TEST(CspRegistrationText, MalformedTextsLeaveTheRecordAlone) {
  const std::string rows[] = {
      "",
      R"("i";"a";"b")",                            // three fields
      R"("i";"a";"b";"N";"x")",                    // five
      R"(i;"a";"b";"N")",                          // mode without quotes
      R"("i";"a";"b";"N)",                         // last quote missing
      R"("i";"a";"b";N")",
      R"("i";"a";"b";"N";)",                       // trailing separator
      R"( "i";"a";"b";"N")",                       // blank before
      R"("i";"a";"b";"N" )",                       // blank after
      R"("i"; "a";"b";"N")",                       // blank between
      R"("i","a","b","N")",                        // wrong separator
      R"(""i";"a";"b";"N"")",                      // still in the script's outer quotes
      R"("x";"a";"b";"N")",                        // unknown mode
      R"("I";"a";"b";"N")",
      R"("iu";"a";"b";"N")",
      R"("";"a";"b";"N")",
      R"("i";"a";"b";"")",                         // empty name
      R"("u";"a";"b";"")",
      R"("i";"a";"b";"Q\N")",                      // a key path, not a name
      R"("u";"a";"b";"\")",
      "\"i\";\"a\";\"b\";\"N\tX\"",                // control character
      R"("i";"";"b";"N")",                         // installing needs both paths
      R"("i";"a";"";"N")",
      "\"i\";\"" + std::string(260, 'p') + "\";\"b\";\"N\"",
      "\"i\";\"a\";\"" + std::string(260, 'p') + "\";\"N\"",
      "\"i\";\"a\";\"b\";\"" + std::string(256, 'n') + "\"",
  };
  for (const std::string& text : rows) {
    qm::CspRegistration out;
    out.name = "untouched";
    EXPECT_FALSE(qm::ParseCspRegistration(text.c_str(), &out)) << text;
    EXPECT_EQ(out.name, "untouched") << text;
  }
  qm::CspRegistration out;
  EXPECT_FALSE(qm::ParseCspRegistration(nullptr, &out));
}

}  // namespace

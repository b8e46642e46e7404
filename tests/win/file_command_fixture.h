// A fresh engine prepared with a script of the test's chapters, a destination folder "{DEST}" and
// payload files; helpers to run a chapter and read what it logged and counted.
#ifndef QM_TESTS_WIN_FILE_COMMAND_FIXTURE_H_
#define QM_TESTS_WIN_FILE_COMMAND_FIXTURE_H_

#include <memory>
#include <string>
#include <vector>

#include "tests/win/engine_fixture.h"
#include "tests/win/test_support.h"

namespace qmtest {

using Lines = std::vector<std::string>;

constexpr char kTestProduct[] = "11111111-2222-3333-4444-555555555555_TEST";

class FileCommandTest : public EngineTest {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Packs qmsetup.ini (FILES, COMMON with the product identity and {DEST}, then |chapters|) with
  // |payload|, loads the engine and prepares it.
  void Prepare(const std::string& chapters, const PackageFiles& payload);
  // The bytes of a test library ("ver_1_0_0_12": ver_1_0_0_12.dll beside the test), or of a text
  // file without a version resource for "text".
  static std::string Payload(const std::string& name);
  // DoStep with a fresh log mark.
  int Step(const std::string& chapter);
  // What the last Step logged between its begin lines and its end or error line.
  Lines Body() const;
  // The reference count recorded for |path| (0 when none).
  static int Count(const std::string& path);
  // Stores |count| for |path|; with |only|, Software\QMSrv is emptied first, and a negative count
  // leaves nothing recorded.
  static void StoreCount(const std::string& path, int count, bool only = false);
  // What Finish answers for this load: 12 when something asked for a restart.
  int FinishCode();
  // |lines| with {S} or {U} replaced by |first| and {T} or {D} by |second|.
  static Lines Subst(const Lines& lines, const std::string& first, const std::string& second);

  // Runs the rest of the test in the current folder |dest_|, which holds |name| with the bytes of
  // |real|, while a file of the same name with other bytes lies in the host's own folder (the
  // test's bin folder), where the system's search orders look first.
  void DecoyInHostFolder(const std::string& name, const std::string& real);

  std::string dest_;
  std::unique_ptr<CurrentFolder> current_folder_;
  std::string decoy_;
};

}  // namespace qmtest

#endif  // QM_TESTS_WIN_FILE_COMMAND_FIXTURE_H_

// libFuzzer: script loading, chapter lookup, argument rules, expansion and the script check on
// arbitrary text.
#include <cstdint>
#include <string>

#include "engine/commands/commands.h"
#include "engine/script/args.h"
#include "engine/script/script.h"
#include "engine/script/variables.h"
#include "tests/native/fake_system.h"
#include "tools/qmpack/script_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qm::Script script;
  qm::ScriptParse(std::string(reinterpret_cast<const char*>(data), size), &script);
  qm::VariableTable table;
  qm::VariablesDefine(table, "{PF}", "C:\\Program Files");
  qm::VariablesDefine(table, "{TMP}", "C:\\stage\\KX2");
  qmtest::FakeSystem system;
  qm::CommandEffects effects;
  const std::string folder;
  const qm::CommandContext context{folder, folder, table, effects, qm::LogGetWriter(), system};
  for (const auto& chapter : script.chapters) {
    if (!qm::ScriptFindChapter(script, chapter.first)) __builtin_trap();
    for (const qm::CommandRecord& record : chapter.second.commands)
      if (record.id() == qm::CommandId::kVar) qm::ExecuteVar(context, record);
    for (const std::string& line : chapter.second.lines) {
      std::string out;
      qm::ArgsFirstQuoted(line, &out);
      qm::ArgsSecondQuoted(line, &out);
      qm::ArgsFlagField(line, &out);
      std::string text = line;
      qm::VariablesExpand(table, &text);
      if (text.size() > qm::kExpandMaxLength + line.size()) __builtin_trap();
    }
  }
  // The package author's check reads the same untrusted text.
  qm::ScriptCheck(std::string(reinterpret_cast<const char*>(data), size), {"qmsetup.ini", "a.dll"});
  return 0;
}

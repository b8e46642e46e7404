// The shipped files themselves: version resources, exports, and the monitor and provider
// libraries called the way the daemons call them.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "components/runtime/common/plugin_api.h"
#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/tests/rt_test_support.h"

namespace {

using qm::PluginResult;

// What a monitor or provider function returned, as the result it stands for.
PluginResult Result(int code) { return static_cast<PluginResult>(code); }

std::string Bin(const std::string& file) { return qmtest::BinFolder() + "\\" + file; }

std::string VersionString(const std::vector<char>& data, const char* name) {
  void* value = nullptr;
  UINT size = 0;
  std::string path = std::string("\\StringFileInfo\\040904b0\\") + name;
  if (!::VerQueryValueA(data.data(), path.c_str(), &value, &size) || size == 0) return std::string();
  return static_cast<const char*>(value);
}

std::vector<std::string> ExportNames(HMODULE module) {
  std::vector<std::string> names;
  for (const qmtest::ExportEntry& entry : qmtest::ModuleExports(module)) names.push_back(entry.name);
  return names;
}

TEST(RuntimeBinaries, CarryTheirVersion) {
  const char* files[] = {"qmslotd.exe",   "qmcertd.exe",    "qmhidreg.dll",  "hidmon.dll",  "scardmon.dll",
                         "qmtsp_kx2.dll", "qmtsp_rx90.dll", "qmtsp_kx1.dll", "_REMOVED.exe"};
  for (const char* file : files) {
    DWORD handle = 0;
    DWORD size = ::GetFileVersionInfoSizeA(Bin(file).c_str(), &handle);
    ASSERT_GT(size, 0u) << file;
    std::vector<char> data(size);
    ASSERT_TRUE(::GetFileVersionInfoA(Bin(file).c_str(), 0, size, data.data())) << file;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixed_size = 0;
    ASSERT_TRUE(::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &fixed_size)) << file;
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u) << file;
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u) << file;
    EXPECT_EQ(VersionString(data, "CompanyName"), "QM") << file;
    EXPECT_EQ(VersionString(data, "ProductName"), "KX2 token client runtime") << file;
    EXPECT_EQ(VersionString(data, "FileVersion"), "1.0.0.1") << file;
    EXPECT_EQ(VersionString(data, "OriginalFilename"), file);
  }
}

TEST(RuntimeBinaries, MonitorsListDevicesOfTheirKind) {
  struct Row {
    const char* file;
    const char* kind;
  };
  for (const Row& row : {Row{"hidmon.dll", "hid"}, Row{"scardmon.dll", "pcsc"}}) {
    qm::ScopedModule module(::LoadLibraryA(Bin(row.file).c_str()));
    ASSERT_TRUE(module) << row.file;
    EXPECT_EQ(ExportNames(module.get()), (std::vector<std::string>{"QmMonEnumerate", "QmMonGetInfo"})) << row.file;
    auto info_fn = reinterpret_cast<QmMonGetInfoFn>(::GetProcAddress(module.get(), "QmMonGetInfo"));
    auto enumerate = reinterpret_cast<QmMonEnumerateFn>(::GetProcAddress(module.get(), "QmMonEnumerate"));
    QmMonitorInfo info = {};
    EXPECT_EQ(Result(info_fn(&info)), PluginResult::kBadArgument) << "size not set";
    info.size = sizeof(info);
    ASSERT_EQ(Result(info_fn(&info)), PluginResult::kOk);
    EXPECT_STREQ(info.kind, row.kind);
    EXPECT_EQ(info.interface_version, kPluginInterfaceVersion);
    DWORD needed = 0;
    DWORD count = 0;
    EXPECT_EQ(Result(enumerate(nullptr, nullptr, 0, &needed, &count)), PluginResult::kBadArgument);
    const PluginResult listed = Result(enumerate("", nullptr, 0, &needed, &count));
    // Wine has no PC/SC resource manager unless one is set up; a reader list is then unavailable.
    if (std::string(row.kind) == "pcsc" && listed == PluginResult::kUnavailable) continue;
    EXPECT_EQ(listed, PluginResult::kBufferTooSmall) << row.file;
    char list[8192];
    ASSERT_EQ(Result(enumerate("", list, needed, &needed, &count)), PluginResult::kOk) << row.file;
  }
}

TEST(RuntimeBinaries, HidMonitorFilters) {
  qm::ScopedModule module(::LoadLibraryA(Bin("hidmon.dll").c_str()));
  auto enumerate = reinterpret_cast<QmMonEnumerateFn>(::GetProcAddress(module.get(), "QmMonEnumerate"));
  ASSERT_TRUE(enumerate);
  char all[8192] = {};
  DWORD needed = 0;
  DWORD count = 0;
  ASSERT_EQ(Result(enumerate("*", all, sizeof(all), &needed, &count)), PluginResult::kOk);
  std::string first = count ? std::string(all, 9) : std::string("1234&5678");
  struct Row {
    std::string filter;
    PluginResult result;
    bool lists_first;
  };
  const Row rows[] = {
      {"", PluginResult::kOk, false},
      {"FFFF&FFFF", PluginResult::kOk, false},
      {"ffff&ffff;" + first, PluginResult::kOk, count > 0},
      {first, PluginResult::kOk, count > 0},
      {"096E-0703", PluginResult::kBadArgument, false},
      {"096E&0703;", PluginResult::kBadArgument, false},
  };
  for (const Row& row : rows) {
    char list[8192] = {};
    EXPECT_EQ(Result(enumerate(row.filter.c_str(), list, sizeof(list), &needed, &count)), row.result) << row.filter;
    if (row.result != PluginResult::kOk) continue;
    EXPECT_EQ(std::string(list).rfind(first + " \\\\?\\", 0) == 0, row.lists_first) << row.filter << ": " << list;
    EXPECT_EQ(list[needed - 1], '\0');
  }
  if (count) {
    char small[4];
    EXPECT_EQ(Result(enumerate("*", small, sizeof(small), &needed, &count)), PluginResult::kBufferTooSmall);
    EXPECT_GT(needed, sizeof(small));
  }
}

TEST(RuntimeBinaries, ProvidersFindNoTokenOfTheirModel) {
  const std::pair<const char*, const char*> rows[] = {
      {"qmtsp_kx2.dll", "KX2"}, {"qmtsp_rx90.dll", "RX90"}, {"qmtsp_kx1.dll", "KX1"}};
  for (const auto& row : rows) {
    qm::ScopedModule module(::LoadLibraryA(Bin(row.first).c_str()));
    ASSERT_TRUE(module) << row.first;
    EXPECT_EQ(ExportNames(module.get()), (std::vector<std::string>{"QmTspCountTokens", "QmTspGetInfo"}));
    auto info_fn = reinterpret_cast<QmTspGetInfoFn>(::GetProcAddress(module.get(), "QmTspGetInfo"));
    auto count_fn = reinterpret_cast<QmTspCountTokensFn>(::GetProcAddress(module.get(), "QmTspCountTokens"));
    QmProviderInfo info = {};
    info.size = sizeof(info);
    ASSERT_EQ(Result(info_fn(&info)), PluginResult::kOk);
    EXPECT_STREQ(info.model, row.second);
    EXPECT_STREQ(info.monitor_kind, "hid");
    DWORD tokens = 7;
    const char devices[] = "096E&0703 \\\\?\\hid#vid_096e&pid_0703#1\0";
    EXPECT_EQ(Result(count_fn(devices, &tokens)), PluginResult::kOk);
    EXPECT_EQ(tokens, 0u);
    EXPECT_EQ(Result(count_fn(nullptr, &tokens)), PluginResult::kBadArgument);
  }
}

// A host that loads and frees a library many times keeps nothing of it.
TEST(RuntimeBinaries, UnloadingLeavesNothingBehind) {
  for (const char* file : {"qmhidreg.dll", "hidmon.dll", "scardmon.dll", "qmtsp_kx2.dll"}) {
    auto cycle = [&] {
      qm::ScopedModule module(::LoadLibraryA(Bin(file).c_str()));
      ASSERT_TRUE(module) << file;
      auto enumerate = reinterpret_cast<QmMonEnumerateFn>(::GetProcAddress(module.get(), "QmMonEnumerate"));
      DWORD needed = 0;
      DWORD count = 0;
      char list[1024];
      if (enumerate) enumerate("FFFF&FFFF", list, sizeof(list), &needed, &count);
    };
    for (int i = 0; i < 5; ++i) cycle();
    qmtest::ProcessCounters before = qmtest::ReadProcessCounters();
    for (int i = 0; i < 50; ++i) cycle();
    qmtest::ProcessCounters after = qmtest::ReadProcessCounters();
    EXPECT_LE(after.handles, before.handles + 2) << file;
    EXPECT_LE(after.private_bytes, before.private_bytes + 256 * 1024) << file;
  }
}

}  // namespace

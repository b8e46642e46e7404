// qmhidreg.dll loaded the way the setup engine's CALL loads it, against the real registry.
#include <gtest/gtest.h>
#include <windows.h>

#include "base/win/reg_key.h"
#include "components/runtime/common/runtime_codes.h"
#include "components/runtime/tests/rt_test_support.h"

namespace {

using qm::HidRegResult;
using HidFn = int(__stdcall*)(const char*);

const std::string kGuid = "6F1C2E4A-3B7D-4C59-9E21-0A8B7D6C5E41_KX2";
const std::string kMonitor = "{8A3C41F2-6B0D-4E7A-9C15-3D2E1F0A9B87}";
const std::string kMonitorRx90 = "0f3c9a7d21e84b6c95a0d3e7f1b2c4a8";

struct Values {
  std::string vid_pid;
  DWORD read_num;
  DWORD product_num;
};

bool KeyExists(const std::string& path) {
  qm::RegKey key;
  return key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_QUERY_VALUE) == ERROR_SUCCESS;
}

bool ReadEntry(const std::string& guid, const std::string& monitor, Values* values) {
  qm::RegKey key;
  std::string path = std::string(rttest::kHidRoot) + "\\" + guid + "\\" + monitor;
  if (key.Open(HKEY_LOCAL_MACHINE, path.c_str(), KEY_QUERY_VALUE) != ERROR_SUCCESS) return false;
  return key.ReadString("VidPid", &values->vid_pid) == ERROR_SUCCESS &&
         key.ReadDword("ReadNum", &values->read_num) == ERROR_SUCCESS &&
         key.ReadDword("ProductNum", &values->product_num) == ERROR_SUCCESS;
}

size_t CountEntries() {
  size_t count = 0;
  qm::RegKey root;
  if (root.Open(HKEY_LOCAL_MACHINE, rttest::kHidRoot, KEY_READ) != ERROR_SUCCESS) return 0;
  char name[MAX_PATH];
  for (DWORD i = 0; ::RegEnumKeyA(root.get(), i, name, MAX_PATH) == ERROR_SUCCESS; ++i) {
    qm::RegKey product;
    char monitor[MAX_PATH];
    if (product.Open(root.get(), name, KEY_READ) != ERROR_SUCCESS) continue;
    for (DWORD j = 0; ::RegEnumKeyA(product.get(), j, monitor, MAX_PATH) == ERROR_SUCCESS; ++j) ++count;
  }
  return count;
}

class HidRegTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rttest::DeleteHidRecords();
    library_.Reset(::LoadLibraryA((qmtest::BinFolder() + "\\qmhidreg.dll").c_str()));
    ASSERT_TRUE(library_);
    write_ = reinterpret_cast<HidFn>(::GetProcAddress(library_.get(), "WirteRegForHidDeivice"));
    delete_ = reinterpret_cast<HidFn>(::GetProcAddress(library_.get(), "DeleteRegForHidDeivice"));
    ASSERT_TRUE(write_ && delete_);
  }
  void TearDown() override { rttest::DeleteHidRecords(); }

  HidRegResult Write(const char* text) const { return static_cast<HidRegResult>(write_(text)); }
  HidRegResult Delete(const char* text) const { return static_cast<HidRegResult>(delete_(text)); }

  qm::ScopedModule library_;
  HidFn write_ = nullptr;
  HidFn delete_ = nullptr;
};

TEST_F(HidRegTest, ExportsAsTheScriptSpellsThem) {
  std::vector<std::string> names;
  for (const qmtest::ExportEntry& entry : qmtest::ModuleExports(library_.get())) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"DeleteRegForHidDeivice", "WirteRegForHidDeivice"}));
}

TEST_F(HidRegTest, Writes) {
  struct Row {
    std::string text;
    HidRegResult code;
    Values values;  // expected under kGuid\kMonitor when the code is kOk
  };
  const Row rows[] = {
      {"1;" + kGuid + ";" + kMonitor + ";096E&0703;2", HidRegResult::kOk, {"096E&0703", 2, 1}},
      {"3;" + kGuid + ";" + kMonitor + ";096e&07a3;12", HidRegResult::kOk, {"096E&07A3", 12, 3}},
      {"1;" + kGuid + ";" + kMonitor + ";096E&0703", HidRegResult::kFieldCount, {}},
      {"1;" + kGuid + ";;096E&0703;2", HidRegResult::kEmptyField, {}},
      {"1;" + kGuid + ";" + kMonitor + ";096E-0703;2", HidRegResult::kBadVidPid, {}},
      {"one;" + kGuid + ";" + kMonitor + ";096E&0703;2", HidRegResult::kBadNumber, {}},
      {"1;" + kGuid + ";a\\b;096E&0703;2", HidRegResult::kBadName, {}},
  };
  for (const Row& row : rows) {
    rttest::DeleteHidRecords();
    EXPECT_EQ(Write(row.text.c_str()), row.code) << row.text;
    Values values;
    if (row.code == HidRegResult::kOk) {
      ASSERT_TRUE(ReadEntry(kGuid, kMonitor, &values)) << row.text;
      EXPECT_EQ(values.vid_pid, row.values.vid_pid);
      EXPECT_EQ(values.read_num, row.values.read_num);
      EXPECT_EQ(values.product_num, row.values.product_num);
    } else {
      EXPECT_FALSE(KeyExists(rttest::kHidRoot)) << "a malformed text changes nothing: " << row.text;
    }
  }
  EXPECT_EQ(Write(nullptr), HidRegResult::kNoText);
  EXPECT_FALSE(KeyExists("Software\\QMSrv")) << "the engine's key is not ours to make";
}

TEST_F(HidRegTest, RepeatedWriteKeepsOneEntry) {
  const std::string text = "1;" + kGuid + ";" + kMonitor + ";096E&0703;";
  EXPECT_EQ(Write((text + "2").c_str()), HidRegResult::kOk);
  EXPECT_EQ(Write((text + "4").c_str()), HidRegResult::kOk);
  Values values;
  ASSERT_TRUE(ReadEntry(kGuid, kMonitor, &values));
  EXPECT_EQ(values.read_num, 4u);
  qm::RegKey guid;
  ASSERT_EQ(guid.Open(HKEY_LOCAL_MACHINE, (std::string(rttest::kHidRoot) + "\\" + kGuid).c_str(), KEY_READ),
            ERROR_SUCCESS);
  char name[MAX_PATH];
  EXPECT_EQ(::RegEnumKeyA(guid.get(), 1, name, MAX_PATH), ERROR_NO_MORE_ITEMS);
}

TEST_F(HidRegTest, DeletesByProductThenTheRoot) {
  // Product kGuid numbered 1 with two monitors (as the script installs it), kGuid numbered 2, and
  // another product.
  for (const std::string& text :
       {"1;" + kGuid + ";" + kMonitor + ";096E&0703;2", "1;" + kGuid + ";" + kMonitorRx90 + ";096E&0702;2",
        "2;" + kGuid + ";M2;096E&0704;1", std::string("1;OTHER_RX90;M3;096E&0705;1")})
    ASSERT_EQ(Write(text.c_str()), HidRegResult::kOk) << text;
  struct Row {
    std::string text;
    HidRegResult code;
    std::vector<std::pair<std::string, std::string>> left;  // guid, monitor
    bool root_left;
  };
  const std::vector<Row> rows = {
      {kGuid, HidRegResult::kFieldCount,
       {{kGuid, kMonitor}, {kGuid, kMonitorRx90}, {kGuid, "M2"}, {"OTHER_RX90", "M3"}}, true},
      {kGuid + ";x", HidRegResult::kBadNumber,
       {{kGuid, kMonitor}, {kGuid, kMonitorRx90}, {kGuid, "M2"}, {"OTHER_RX90", "M3"}}, true},
      {kGuid + ";1", HidRegResult::kOk, {{kGuid, "M2"}, {"OTHER_RX90", "M3"}}, true},
      {kGuid + ";1", HidRegResult::kOk, {{kGuid, "M2"}, {"OTHER_RX90", "M3"}}, true},
      {kGuid + ";2", HidRegResult::kOk, {{"OTHER_RX90", "M3"}}, true},
      {"OTHER_RX90;1", HidRegResult::kOk, {}, false},
      {"OTHER_RX90;1", HidRegResult::kOk, {}, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Delete(row.text.c_str()), row.code) << row.text;
    for (const auto& entry : row.left) {
      Values values;
      EXPECT_TRUE(ReadEntry(entry.first, entry.second, &values)) << row.text << ": " << entry.second;
    }
    EXPECT_EQ(CountEntries(), row.left.size()) << row.text;
    EXPECT_EQ(KeyExists(rttest::kHidRoot), row.root_left) << row.text;
  }
  EXPECT_FALSE(KeyExists(std::string(rttest::kHidRoot) + "\\" + kGuid));
}

}  // namespace

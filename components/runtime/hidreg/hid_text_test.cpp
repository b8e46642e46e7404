#include "components/runtime/hidreg/hid_text.h"

#include <gtest/gtest.h>

#include "components/runtime/common/runtime_codes.h"
#include "tests/result_printer.h"

namespace {

using qm::HidRegResult;

const char kGuid[] = "6F1C2E4A-3B7D-4C59-9E21-0A8B7D6C5E41_KX2";

TEST(HidText, DeviceEntries) {
  struct Row {
    std::string text;
    HidRegResult code;
  };
  const std::string g = kGuid;
  const std::string m = "{8A3C41F2-6B0D-4E7A-9C15-3D2E1F0A9B87}";
  const Row rows[] = {
      {"1;" + g + ";" + m + ";096E&0703;2", HidRegResult::kOk},
      {"1;" + g + ";0f3c9a7d21e84b6c95a0d3e7f1b2c4a8;096e&0702;2", HidRegResult::kOk},
      {"4294967295;" + g + ";" + m + ";ABCD&ef01;0", HidRegResult::kOk},
      {"1;" + g + ";" + m + ";096E&0703", HidRegResult::kFieldCount},
      {"1;" + g + ";" + m + ";096E&0703;2;", HidRegResult::kFieldCount},
      {"", HidRegResult::kFieldCount},
      {"1;;" + m + ";096E&0703;2", HidRegResult::kEmptyField},
      {";" + g + ";" + m + ";096E&0703;2", HidRegResult::kEmptyField},
      {"1;" + g + ";" + m + ";096E&0703;", HidRegResult::kEmptyField},
      {"1;" + g + ";" + m + ";096E0703;2", HidRegResult::kBadVidPid},
      {"1;" + g + ";" + m + ";096G&0703;2", HidRegResult::kBadVidPid},
      {"1;" + g + ";" + m + ";96E&0703;2", HidRegResult::kBadVidPid},
      {"1;" + g + ";" + m + ";096E&07031;2", HidRegResult::kBadVidPid},
      {"x;" + g + ";" + m + ";096E&0703;2", HidRegResult::kBadNumber},
      {"1;" + g + ";" + m + ";096E&0703;-2", HidRegResult::kBadNumber},
      {"4294967296;" + g + ";" + m + ";096E&0703;2", HidRegResult::kBadNumber},
      {"1;" + g + ";" + m + ";096E&0703; 2", HidRegResult::kBadNumber},
      {"1;" + g + "\\x;" + m + ";096E&0703;2", HidRegResult::kBadName},
      {"1;" + g + ";" + m + "\\;096E&0703;2", HidRegResult::kBadName},
      {"1;" + g + ";a\tb;096E&0703;2", HidRegResult::kBadName},
      {"1;" + std::string(256, 'a') + ";" + m + ";096E&0703;2", HidRegResult::kBadName},
  };
  for (const Row& row : rows) {
    qm::HidDeviceEntry entry;
    entry.monitor_id = "untouched";
    EXPECT_EQ(qm::ParseHidDeviceEntry(row.text.c_str(), &entry), row.code) << row.text;
    if (row.code != HidRegResult::kOk) EXPECT_EQ(entry.monitor_id, "untouched") << row.text;
  }
  EXPECT_EQ(qm::ParseHidDeviceEntry(nullptr, nullptr), HidRegResult::kNoText);
}

TEST(HidText, DeviceEntryFields) {
  qm::HidDeviceEntry entry;
  ASSERT_EQ(qm::ParseHidDeviceEntry("7;G_KX2;0f3c9a7d;096e&07a3;0012", &entry), HidRegResult::kOk);
  EXPECT_EQ(entry.product_num, 7u);
  EXPECT_EQ(entry.product_guid, "G_KX2");
  EXPECT_EQ(entry.monitor_id, "0f3c9a7d");
  EXPECT_EQ(entry.vid_pid, "096E&07A3");
  EXPECT_EQ(entry.read_num, 12u);
}

TEST(HidText, ProductRefs) {
  struct Row {
    const char* text;
    HidRegResult code;
  };
  const Row rows[] = {
      {"6F1C2E4A-3B7D-4C59-9E21-0A8B7D6C5E41_KX2;1", HidRegResult::kOk},
      {"G;0", HidRegResult::kOk},
      {"G", HidRegResult::kFieldCount},
      {"G;1;2", HidRegResult::kFieldCount},
      {";1", HidRegResult::kEmptyField},
      {"G;", HidRegResult::kEmptyField},
      {"G;one", HidRegResult::kBadNumber},
      {"a\\b;1", HidRegResult::kBadName},
  };
  for (const Row& row : rows) {
    qm::HidProductRef ref;
    EXPECT_EQ(qm::ParseHidProductRef(row.text, &ref), row.code) << row.text;
  }
  qm::HidProductRef ref;
  ASSERT_EQ(qm::ParseHidProductRef("G_KX2;3", &ref), HidRegResult::kOk);
  EXPECT_EQ(ref.product_guid, "G_KX2");
  EXPECT_EQ(ref.product_num, 3u);
  EXPECT_EQ(qm::ParseHidProductRef(nullptr, &ref), HidRegResult::kNoText);
}

TEST(HidText, SplitKeepsEmptyFields) {
  EXPECT_EQ(qm::SplitFields("", ';'), (std::vector<std::string>{""}));
  EXPECT_EQ(qm::SplitFields("a;;b;", ';'), (std::vector<std::string>{"a", "", "b", ""}));
}

TEST(HidText, VidPidFromDevicePath) {
  const std::pair<const char*, const char*> rows[] = {
      {"\\\\?\\hid#vid_096e&pid_0703#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", "096E&0703"},
      {"\\\\?\\HID#VID_096E&PID_07A3&MI_00#7&1a2b&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}", "096E&07A3"},
      {"\\\\?\\hid#vid_09&pid_0703#x#vid_1234&pid_abcd#y", "1234&ABCD"},
      {"\\\\?\\hid#vid_096e#pid_0703", ""},
      {"\\\\?\\hid#vid_096e&pid_07", ""},
      {"", ""},
  };
  for (const auto& row : rows) {
    std::string vid_pid = "";
    bool found = qm::VidPidFromDevicePath(row.first, &vid_pid);
    EXPECT_EQ(found, *row.second != '\0') << row.first;
    EXPECT_EQ(vid_pid, row.second) << row.first;
  }
}

}  // namespace

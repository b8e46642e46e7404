#include "components/runtime/tests/rt_test_support.h"

#include <gtest/gtest.h>

#include <vector>

#include "base/win/reg_key.h"

namespace rttest {
namespace {

// SystemProcessInformation's leading fields (winternl.h leaves the times out).
struct ProcessRecord {
  ULONG next_offset;
  ULONG threads;
  LARGE_INTEGER reserved[3];
  LARGE_INTEGER create_time;
  LARGE_INTEGER user_time;
  LARGE_INTEGER kernel_time;
  USHORT name_length;
  USHORT name_maximum;
  PWSTR name;
  LONG base_priority;
  HANDLE process_id;
};
using QuerySystemInformationFn = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
constexpr ULONG kSystemProcessInformation = 5;

void CopyInto(const std::string& from, const std::string& to) {
  EXPECT_TRUE(::CopyFileA(from.c_str(), to.c_str(), FALSE)) << from << " -> " << to;
}

std::string Scratch(const std::string& name) { return qmtest::TempPath() + "qmtest_" + name; }

}  // namespace

std::string PackageFiles() { return qmtest::BinFolder() + "\\runtime_files"; }

std::string MakeProductFolder(const std::string& name) {
  std::string scratch = qmtest::MakeScratchFolder(name);
  std::string folder = scratch + "\\Program Files\\qmsrv";
  ::CreateDirectoryA((scratch + "\\Program Files").c_str(), nullptr);
  for (const char* sub : {"", "\\slotmon", "\\tsp", "\\lang", "\\conf"})
    ::CreateDirectoryA((folder + sub).c_str(), nullptr);
  const std::string bin = qmtest::BinFolder();
  for (const char* file : {"qmslotd.exe", "qmcertd.exe"}) CopyInto(bin + "\\" + file, folder + "\\" + file);
  for (const char* file : {"hidmon.dll", "scardmon.dll"}) CopyInto(bin + "\\" + file, folder + "\\slotmon\\" + file);
  for (const char* file : {"qmtsp_kx2.dll", "qmtsp_rx90.dll", "qmtsp_kx1.dll"})
    CopyInto(bin + "\\" + file, folder + "\\tsp\\" + file);
  for (const char* id : {"2052", "1033", "1028", "4444"}) {
    std::string file = std::string("qmcertd_") + id + ".lng";
    CopyInto(PackageFiles() + "\\" + file, folder + "\\lang\\" + file);
  }
  CopyInto(PackageFiles() + "\\res\\qmlog.conf", folder + "\\conf\\qmlog.conf");
  return folder;
}

void RemoveProductFolder(const std::string& name) { qmtest::DeleteTree(Scratch(name)); }

std::string Quote(const std::string& path) { return "\"" + path + "\""; }

DWORD ServiceProcessId(const char* name) {
  qm::ScopedServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
  qm::ScopedServiceHandle service(manager ? ::OpenServiceA(manager.get(), name, SERVICE_QUERY_STATUS) : nullptr);
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed = 0;
  if (!service || !::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                          sizeof(status), &needed))
    return 0;
  return status.dwProcessId;
}

void RemoveService(const char* name) {
  qm::ScopedServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  qm::ScopedServiceHandle service(manager ? ::OpenServiceA(manager.get(), name, SERVICE_ALL_ACCESS) : nullptr);
  if (!service) return;
  SERVICE_STATUS status = {};
  if (::ControlService(service.get(), SERVICE_CONTROL_STOP, &status))
    for (int i = 0; i < 100 && ::QueryServiceStatus(service.get(), &status) && status.dwCurrentState != SERVICE_STOPPED;
         ++i)
      ::Sleep(100);
  ::DeleteService(service.get());
}

ULONGLONG ProcessCpuTime(DWORD pid) {
  auto query = reinterpret_cast<QuerySystemInformationFn>(
      ::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation"));
  if (!query) return 0;
  std::vector<char> buffer(1 << 20);
  ULONG size = 0;
  if (query(kSystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &size) != 0) return 0;
  for (size_t at = 0;;) {
    auto record = reinterpret_cast<const ProcessRecord*>(&buffer[at]);
    if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(record->process_id)) == pid)
      return record->user_time.QuadPart + record->kernel_time.QuadPart;
    if (!record->next_offset) return 0;
    at += record->next_offset;
  }
}

bool ProcessRunning(DWORD pid) {
  qm::ScopedHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
  return process && ::WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

bool WaitForFileText(const std::string& path, const std::string& text, DWORD timeout_ms) {
  DWORD start = ::GetTickCount();
  do {
    if (qmtest::ReadFileBytes(path).find(text) != std::string::npos) return true;
    ::Sleep(100);
  } while (::GetTickCount() - start < timeout_ms);
  return false;
}

void DeleteHidRecords() {
  qm::RegKey software;
  if (software.Open(HKEY_LOCAL_MACHINE, "Software", KEY_ALL_ACCESS) == ERROR_SUCCESS)
    software.DeleteSubKeyTree("QMHid");
}

void DeleteRunOnceValue(const char* name) {
  qm::RegKey key;
  if (key.Open(HKEY_LOCAL_MACHINE, kRunOnceKey, KEY_ALL_ACCESS) == ERROR_SUCCESS) key.DeleteValue(name);
}

std::string ReadRunOnceValue(const char* name) {
  qm::RegKey key;
  std::string value;
  if (key.Open(HKEY_LOCAL_MACHINE, kRunOnceKey, KEY_QUERY_VALUE) == ERROR_SUCCESS) key.ReadString(name, &value);
  return value;
}

qm::ScopedHandle StartProcess(const std::string& command_line) {
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  std::string cmd = command_line;
  if (!::CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return qm::ScopedHandle();
  qm::ScopedHandle thread(pi.hThread);
  return qm::ScopedHandle(pi.hProcess);
}

}  // namespace rttest

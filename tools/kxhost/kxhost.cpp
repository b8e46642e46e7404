// kxhost: runs the front the way a host setup program does, from the command line.
//   kxhost [--front PATH] precheck | install SELECTOR | uninstall
// Prints the export's result and exits with it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/win/scoped_handle.h"

namespace {

using FrontInstall = int(__cdecl*)(int, int);
using FrontNoArgs = int(__cdecl*)();

int Usage() {
  std::printf(
      "usage: kxhost [--front PATH] precheck | install SELECTOR | uninstall\n"
      "  Loads Inst_kx2.dll (next to kxhost by default) and calls kx_PrePareCheck,\n"
      "  kx_Install(0, SELECTOR) or kx_Uninstall; prints the result and exits with it.\n");
  return 64;
}

std::string DefaultFront() {
  char path[MAX_PATH] = {};
  DWORD n = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, n);
  size_t slash = folder.find_last_of("\\/");
  return (slash == std::string::npos ? std::string() : folder.substr(0, slash + 1)) + "Inst_kx2.dll";
}

}  // namespace

int main(int argc, char** argv) {
  std::string front = DefaultFront();
  int i = 1;
  if (i + 1 < argc && std::strcmp(argv[i], "--front") == 0) {
    front = argv[i + 1];
    i += 2;
  }
  if (i >= argc || std::strcmp(argv[i], "--help") == 0) return Usage();
  const std::string command = argv[i];

  qm::ScopedModule module(::LoadLibraryA(front.c_str()));
  if (!module) {
    std::printf("kxhost: cannot load %s (error %lu)\n", front.c_str(), ::GetLastError());
    return 65;
  }
  int result;
  if (command == "precheck") {
    auto fn = reinterpret_cast<FrontNoArgs>(::GetProcAddress(module.get(), "kx_PrePareCheck"));
    if (!fn) return 66;
    result = fn();
  } else if (command == "install" && i + 1 < argc) {
    auto fn = reinterpret_cast<FrontInstall>(::GetProcAddress(module.get(), "kx_Install"));
    if (!fn) return 66;
    result = fn(0, std::atoi(argv[i + 1]));
  } else if (command == "uninstall") {
    auto fn = reinterpret_cast<FrontNoArgs>(::GetProcAddress(module.get(), "kx_Uninstall"));
    if (!fn) return 66;
    result = fn();
  } else {
    return Usage();
  }
  std::printf("%s returned %d\n", command.c_str(), result);
  std::fflush(stdout);
  return result;
}

// v770-unitbridge: hosts the unit's USB library for a program that cannot load it itself
// (the maker's library is 32-bit, the program 64-bit). It answers the requests of
// BridgeProtocol.h, one line at a time, on its standard input and output, and ends when its
// input closes. The channel handles it opens are taken over by the program, which reads,
// writes and closes them itself. Plain Win32, so it builds for any Windows processor.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bridge/BridgeProtocol.h"

namespace {

constexpr const char* kLibraryName = "RUD51iZEV.dll";
// The library's entry points: C calling convention, a 32-bit value and a handle.
using OpenDevFunction = int(__cdecl*)();
using OpenFileFunction = void*(__cdecl*)(const char*);

// The unit library as the bridge holds it: loaded once per "load", freed once per "free".
class LoadedLibraries {
 public:
  explicit LoadedLibraries(std::string overridePath) : m_overridePath(std::move(overridePath)) {}
  ~LoadedLibraries() {
    for (HMODULE module : m_modules) ::FreeLibrary(module);
  }
  LoadedLibraries(const LoadedLibraries&) = delete;
  LoadedLibraries& operator=(const LoadedLibraries&) = delete;

  // An empty text when it loaded, else why not.
  std::string Load() {
    HMODULE module = Open();
    if (!module) return "cannot load the library, error " + std::to_string(::GetLastError());
    const auto openDev = reinterpret_cast<OpenDevFunction>(reinterpret_cast<void*>(::GetProcAddress(module, "open_dev")));
    const auto openFile =
        reinterpret_cast<OpenFileFunction>(reinterpret_cast<void*>(::GetProcAddress(module, "open_file")));
    if (!openDev || !openFile) {
      ::FreeLibrary(module);
      return "the library lacks open_dev or open_file";
    }
    m_modules.push_back(module);
    m_openDev = openDev;
    m_openFile = openFile;
    return {};
  }
  void Free() {
    if (m_modules.empty()) return;
    ::FreeLibrary(m_modules.back());
    m_modules.pop_back();
  }
  // The entry points are called only while the library is loaded.
  bool IsLoaded() const { return !m_modules.empty(); }
  int OpenDev() const { return m_openDev(); }
  void* OpenFile(const char* name) const { return m_openFile(name); }

 private:
  // Beside the bridge, which lies beside the program, then in the system's search order.
  HMODULE Open() const {
    if (!m_overridePath.empty()) return ::LoadLibraryA(m_overridePath.c_str());
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string beside(path, length < MAX_PATH ? length : 0);
    const std::size_t slash = beside.find_last_of("\\/");
    if (slash != std::string::npos) {
      beside = beside.substr(0, slash + 1) + kLibraryName;
      if (HMODULE module = ::LoadLibraryA(beside.c_str())) return module;
    }
    return ::LoadLibraryA(kLibraryName);
  }

  std::string m_overridePath;
  std::vector<HMODULE> m_modules;
  OpenDevFunction m_openDev = nullptr;
  OpenFileFunction m_openFile = nullptr;
};

std::string Answer(LoadedLibraries& library, const std::string& request) {
  using namespace BridgeProtocol;
  const std::string refused(kFailed);
  if (request == kLoad) {
    const std::string error = library.Load();
    return error.empty() ? std::string(kOk) : refused + ' ' + error;
  }
  if (request == kFree) {
    library.Free();
    return std::string(kOk);
  }
  if (!library.IsLoaded()) return refused + " the library is not loaded";
  if (request == kOpenDev) return ValueAnswer(library.OpenDev());
  if (request.rfind(kOpenFile, 0) == 0)
    return ValueAnswer(reinterpret_cast<std::intptr_t>(library.OpenFile(request.c_str() + kOpenFile.size())));
  return refused + " unknown request";
}

bool WriteLine(HANDLE output, std::string line) {
  line += BridgeProtocol::kLineEnd;
  DWORD written = 0;
  return ::WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) &&
         written == line.size();
}

std::string LibraryOverride(int argc, char** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (argv[i] == BridgeProtocol::kLibraryOption) return argv[i + 1];
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  LoadedLibraries library(LibraryOverride(argc, argv));
  std::string pending;
  char buffer[BridgeProtocol::kMaxLine];
  DWORD got = 0;
  // Until the program closes its end (or breaks the protocol).
  while (::ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    pending.append(buffer, got);
    std::size_t end;
    while ((end = pending.find(BridgeProtocol::kLineEnd)) != std::string::npos) {
      const std::string request = pending.substr(0, end);
      pending.erase(0, end + 1);
      if (!WriteLine(output, Answer(library, request))) return 1;
    }
    if (pending.size() > BridgeProtocol::kMaxLine) return 1;
  }
  return 0;
}

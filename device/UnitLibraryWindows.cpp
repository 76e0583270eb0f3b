#include "device/UnitLibrary.h"

#include <windows.h>

#include <vector>

#include "device/UnitLibraryBridge.h"

namespace {
// Beside the program first, as Windows itself looks, then in the system's search order.
// `otherArchitecture` tells whether a library was found that this program cannot load
// because it is built for another processor (the maker's is 32-bit).
HMODULE OpenLibrary(const std::string& name, bool* otherArchitecture) {
  *otherArchitecture = false;
  std::vector<std::string> candidates;
  const std::string folder = CUnitLibraryBridge::ProgramFolder();
  if (name.find_first_of("\\/:") == std::string::npos && !folder.empty()) candidates.push_back(folder + '\\' + name);
  candidates.push_back(name);
  for (const std::string& candidate : candidates) {
    if (HMODULE module = ::LoadLibraryA(candidate.c_str())) return module;
    if (::GetLastError() == ERROR_BAD_EXE_FORMAT) *otherArchitecture = true;
  }
  return nullptr;
}

template <typename Function>
Function EntryPoint(void* module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name)));
}
}  // namespace

bool CUnitLibrary::Load() {
  if (IsLoaded()) return true;
  bool otherArchitecture = false;
  m_module = OpenLibrary(LibraryName(), &otherArchitecture);
  if (!m_module) {
    if (otherArchitecture) m_bridgeRun = CUnitLibraryBridge::Instance().Load();
    return IsLoaded();
  }
  m_openDev = EntryPoint<int (*)()>(m_module, "open_dev");
  m_openFile = EntryPoint<ChannelHandle (*)(const char*)>(m_module, "open_file");
  if (!m_openDev || !m_openFile) {
    Free();
    return false;
  }
  return true;
}

void CUnitLibrary::Free() {
  if (m_bridgeRun) CUnitLibraryBridge::Instance().Free(m_bridgeRun);
  m_bridgeRun = 0;
  if (m_module) ::FreeLibrary(static_cast<HMODULE>(m_module));
  m_module = nullptr;
  m_openDev = nullptr;
  m_openFile = nullptr;
}

bool CUnitLibrary::IsLoaded() const { return m_module != nullptr || m_bridgeRun != 0; }

int CUnitLibrary::open_dev() {
  if (m_bridgeRun) return CUnitLibraryBridge::Instance().OpenDev(m_bridgeRun);
  return m_openDev ? m_openDev() : kNoUnit;
}

ChannelHandle CUnitLibrary::open_file(const char* name) {
  if (!name) return kChannelNotOpen;
  if (m_bridgeRun) return CUnitLibraryBridge::Instance().OpenFile(m_bridgeRun, name);
  return m_openFile ? m_openFile(name) : kChannelNotOpen;
}

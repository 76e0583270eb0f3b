#include "device/UnitLibrary.h"

#include <dlfcn.h>

#include <filesystem>

namespace {
std::string ProgramFolder() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : program.parent_path().string();
}

// A plain name is looked for beside the program first, as the unit's home platform does,
// then in the installed program's private library folder, then where the dynamic loader
// looks. The program's run path alone is not enough: it is lost when a sanitizer or a
// preloaded library wraps dlopen.
void* OpenLibrary(const std::string& name) {
  constexpr int kFlags = RTLD_NOW | RTLD_LOCAL;
  constexpr const char* kPrivateFolderFromProgram = "/../lib/v770/";
  const std::string folder = ProgramFolder();
  if (name.find('/') == std::string::npos && !folder.empty()) {
    for (const std::string& path : {folder + '/' + name, folder + kPrivateFolderFromProgram + name})
      if (void* module = ::dlopen(path.c_str(), kFlags)) return module;
  }
  return ::dlopen(name.c_str(), kFlags);
}
}  // namespace

bool CUnitLibrary::Load() {
  if (IsLoaded()) return true;
  m_module = OpenLibrary(LibraryName());
  if (!m_module) return false;
  m_openDev = reinterpret_cast<int (*)()>(::dlsym(m_module, "open_dev"));
  m_openFile = reinterpret_cast<ChannelHandle (*)(const char*)>(::dlsym(m_module, "open_file"));
  if (!m_openDev || !m_openFile) {
    Free();
    return false;
  }
  return true;
}

void CUnitLibrary::Free() {
  if (m_module) ::dlclose(m_module);
  m_module = nullptr;
  m_openDev = nullptr;
  m_openFile = nullptr;
}

bool CUnitLibrary::IsLoaded() const { return m_module != nullptr; }

int CUnitLibrary::open_dev() { return m_openDev ? m_openDev() : kNoUnit; }

ChannelHandle CUnitLibrary::open_file(const char* name) {
  if (!m_openFile || !name) return kChannelNotOpen;
  return m_openFile(name);
}

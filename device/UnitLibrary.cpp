#include "device/UnitLibrary.h"

#include <mutex>

namespace {
std::mutex g_nameMutex;
std::string g_nameOverride;
}  // namespace

std::string CUnitLibrary::LibraryName() {
  std::lock_guard lock(g_nameMutex);
  return g_nameOverride.empty() ? std::string(kLibraryName) : g_nameOverride;
}

void CUnitLibrary::SetLibraryNameForTesting(const std::string& name) {
  std::lock_guard lock(g_nameMutex);
  g_nameOverride = name;
}

CUnitLibrary::~CUnitLibrary() { Free(); }

UnitProbe ProbeUnit() {
  UnitProbe probe;
  CUnitLibrary library;
  if (!library.Load()) return probe;
  probe.bLibraryLoaded = true;
  probe.bUnitPresent = library.open_dev() != CUnitLibrary::kNoUnit;
  library.Free();
  return probe;
}

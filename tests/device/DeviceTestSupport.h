#pragma once

#include <string>

#include "device/UnitLibrary.h"

// Points the unit library loader at another file for one test and back afterwards.
class LibraryNameScope {
 public:
  explicit LibraryNameScope(const std::string& name) { CUnitLibrary::SetLibraryNameForTesting(name); }
  ~LibraryNameScope() { CUnitLibrary::SetLibraryNameForTesting({}); }
  LibraryNameScope(const LibraryNameScope&) = delete;
  LibraryNameScope& operator=(const LibraryNameScope&) = delete;
};

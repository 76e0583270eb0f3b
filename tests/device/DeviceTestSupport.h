#pragma once

#include <QElapsedTimer>
#include <string>

#include "device/UnitLibrary.h"
#include "support/TestSupport.h"

// Points the unit library loader at another file for one test and back afterwards.
class LibraryNameScope {
 public:
  explicit LibraryNameScope(const std::string& name) { CUnitLibrary::SetLibraryNameForTesting(name); }
  ~LibraryNameScope() { CUnitLibrary::SetLibraryNameForTesting({}); }
  LibraryNameScope(const LibraryNameScope&) = delete;
  LibraryNameScope& operator=(const LibraryNameScope&) = delete;
};

// Lets the event loop run for a while, so timers and queued reports get their chance.
inline void Settle(int ms) {
  QElapsedTimer clock;
  clock.start();
  TestSupport::WaitUntil([&] { return clock.elapsed() >= ms; }, ms + 1000);
}

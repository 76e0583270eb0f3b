#pragma once

#include <string>

#include "device/UnitChannel.h"

// The unit's USB library, loaded at run time from the program's own folder (else by its
// plain name, where the dynamic loader looks) with its two entry points open_dev and
// open_file.
class CUnitLibrary {
 public:
  static constexpr const char* kLibraryName = "libRUD51iZEV.so";
  static constexpr int kNoUnit = -1;

  CUnitLibrary() = default;
  ~CUnitLibrary();  // frees the library if still loaded
  CUnitLibrary(const CUnitLibrary&) = delete;
  CUnitLibrary& operator=(const CUnitLibrary&) = delete;

  // Loads the library and takes both entry points; false (and nothing loaded) when the
  // library or either entry point is missing.
  bool Load();
  void Free();
  bool IsLoaded() const;

  // -1 when no unit is attached (or the library is not loaded); anything else: a unit.
  int open_dev();
  // A channel handle, or -1 / 0 when the channel did not open (or the library is not loaded).
  ChannelHandle open_file(const char* name);

  // Loads this file instead of kLibraryName from now on (a missing or foreign library in
  // tests); an empty name restores the real one.
  static void SetLibraryNameForTesting(const std::string& name);

 private:
  void* m_module = nullptr;
  int (*m_openDev)() = nullptr;
  // Called with the exact type the library exports, a pointer-wide handle.
  ChannelHandle (*m_openFile)(const char*) = nullptr;
};

// Loads the library, asks whether a unit is attached and frees it again. Empty when the
// library could not be loaded (the caller keeps what it knew).
struct UnitProbe {
  bool bLibraryLoaded = false;
  bool bUnitPresent = false;
};
UnitProbe ProbeUnit();

// Channel names: PIPE00 + channel for writing, PIPE01 + channel for reading.
namespace UnitChannels {
inline constexpr const char* kMainWrite = "PIPE00Main";
inline constexpr const char* kMainRead = "PIPE01Main";
inline constexpr const char* kPoiWrite = "PIPE00POI";
inline constexpr const char* kPoiRead = "PIPE01POI";
inline constexpr const char* kUnitWrite = "PIPE00UNIT";
inline constexpr const char* kUpdateWrite = "PIPE00DB";
inline constexpr const char* kResetWrite = "PIPE00RESET";
}  // namespace UnitChannels

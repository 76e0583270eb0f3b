#pragma once

#include <cstdint>
#include <string>

#include "device/UnitChannel.h"

// The unit's USB library, loaded at run time from the program's own folder (else by its
// plain name, where the system's loader looks) with its two entry points open_dev and
// open_file. On Windows a library this program cannot load because it is 32-bit is loaded
// by the bridge instead (see CUnitLibraryBridge); its callers cannot tell the difference.
class CUnitLibrary {
 public:
#ifdef _WIN32
  static constexpr const char* kLibraryName = "RUD51iZEV.dll";
#else
  static constexpr const char* kLibraryName = "libRUD51iZEV.so";
#endif
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

#ifdef _WIN32
  // Whether the library was loaded by the bridge rather than into this program.
  bool IsBridged() const { return m_bridgeRun != 0; }
#endif

 private:
  // The name to load: kLibraryName or the one set for a test.
  static std::string LibraryName();

  void* m_module = nullptr;
  int (*m_openDev)() = nullptr;
  // Called with the exact type the library exports, a pointer-wide handle.
  ChannelHandle (*m_openFile)(const char*) = nullptr;
#ifdef _WIN32
  // The bridge's run the library was loaded in; 0 when it is not the bridge's.
  std::uint64_t m_bridgeRun = 0;
#endif
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

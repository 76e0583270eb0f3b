#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "device/UnitChannel.h"

// Windows: the unit's own library is 32-bit and this program is not, so it cannot load it.
// The bridge, a small 32-bit program beside this one (bridge/), loads it instead and
// answers open_dev and open_file over its standard input and output; each channel handle
// it opens is taken over into this process with DuplicateHandle, and from then on the
// program reads, writes and closes it itself, as if the library had been its own.
//
// One bridge serves the whole program, started at the first call and kept running; it ends
// when the program closes its input (at the latest when the program ends). A bridge that
// has died is started again on the next call, and every call has a time-out: a bridge that
// does not answer in time is ended.
//
// The library is loaded in a given run of the bridge; a caller keeps that run's number and
// passes it back, so a library loaded in a bridge that has since been restarted is loaded
// again in the new one (and never freed there once too often).
class CUnitLibraryBridge {
 public:
  static constexpr const char* kProgramName = "v770-unitbridge.exe";
  static constexpr int kCallTimeoutMs = 5000;
  // How long a bridge is given to end once its input is closed or it was terminated.
  static constexpr int kEndWaitMs = 1000;

  static CUnitLibraryBridge& Instance();
  ~CUnitLibraryBridge();
  // The folder of this program's file, where the library and the bridge lie; empty when
  // the system cannot tell.
  static std::string ProgramFolder();
  CUnitLibraryBridge(const CUnitLibraryBridge&) = delete;
  CUnitLibraryBridge& operator=(const CUnitLibraryBridge&) = delete;

  // Loads the library in the bridge; the run it is loaded in, or 0 when it could not be.
  std::uint64_t Load();
  void Free(std::uint64_t run);
  // open_dev and open_file through the bridge; `run` is updated when the library had to be
  // loaded again in a new run. A failure of the bridge reads as no unit or no channel.
  int OpenDev(std::uint64_t& run);
  ChannelHandle OpenFile(std::uint64_t& run, const char* name);

  // For tests: the library the bridge loads instead of the one beside it, a whole command
  // line that starts another program as the bridge, and a shorter time-out (empty or 0:
  // back to the real ones).
  void SetLibraryForTesting(const std::string& path);
  void SetCommandLineForTesting(const std::string& commandLine);
  void SetTimeoutForTesting(int ms);
  // The running bridge's process id; 0 when none runs.
  unsigned long ProcessIdForTesting();

 private:
  CUnitLibraryBridge() = default;

  // All below with m_mutex held.
  bool IsRunning() const;
  bool Start();
  // Ends the bridge: one that answers by closing its input (it is terminated when it does
  // not end in time), one that does not at once.
  void End(bool bAnswering);
  std::string CommandLine() const;
  // One request, its answer line; nothing when the bridge failed (it is then ended).
  std::optional<std::string> Call(std::string_view request);
  // The library loaded in the current run; false when it cannot be.
  bool LoadedIn(std::uint64_t& run);

  std::mutex m_mutex;
  void* m_process = nullptr;
  std::unique_ptr<HandleChannel> m_toBridge;
  std::unique_ptr<HandleChannel> m_fromBridge;
  std::uint64_t m_run = 0;
  std::string m_libraryForTesting;
  std::string m_commandLineForTesting;
  int m_timeoutMs = kCallTimeoutMs;
};

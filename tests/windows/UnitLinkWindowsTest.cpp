// The unit link built for Windows, under Wine against the emulated unit over TCP, in the
// program and through the bridge. `./dev test --windows` builds and runs it.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "device/UnitLibrary.h"
#include "device/UnitLibraryBridge.h"
#include "unitsim/UnitTcpLink.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::string_literals;

constexpr int kChannelTimeoutMs = 1000;
constexpr int kWaitMs = 5000;
constexpr const char* kSilentBridgeOption = "--silent-bridge";
constexpr std::size_t kChunkSize = 2048;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// The stand-in library built for this processor; the one beside the program is 32-bit.
std::string NativeLibrary() { return CUnitLibraryBridge::ProgramFolder() + "\\native\\" + CUnitLibrary::kLibraryName; }

// The emulated unit's control, reached the way the library reaches the unit.
std::string Control(const std::string& command) {
  const auto socket = UnitTcpLink::Connect(UnitTcpLink::PortFromEnvironment());
  std::string answer;
  const bool answered = UnitTcpLink::Exchange(socket, "ctl " + command, &answer);
  UnitTcpLink::Close(socket);
  return answered ? answer : "(no answer)";
}

// Waits for the unit's status to hold `text`.
bool StatusHolds(const std::string& text) {
  for (const auto start = Clock::now(); Control("status").find(text) == std::string::npos;) {
    if (MsSince(start) > kWaitMs) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool Write(IUnitChannel& channel, const std::string& bytes) {
  return channel.Write(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// One read of at most `size` bytes; empty when it failed.
std::string Read(IUnitChannel& channel, std::size_t size) {
  std::string buffer(size, '\0');
  std::size_t got = 0;
  return channel.Read(reinterpret_cast<std::uint8_t*>(buffer.data()), size, &got) ? buffer.substr(0, got) : "";
}

// The CRC-32 the unit checks (zlib's), as Windows computes it.
std::uint32_t Crc32(const std::string& bytes) {
  using Function = DWORD(WINAPI*)(DWORD, const BYTE*, INT);
  static const auto crc = reinterpret_cast<Function>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("ntdll.dll"), "RtlComputeCrc32")));
  return crc(0, reinterpret_cast<const BYTE*>(bytes.data()), INT(bytes.size()));
}

// The 20-byte header of a database package (little-endian, as Windows runs).
std::string PackageHeader(std::uint32_t payloadSize, std::uint32_t crc) {
  std::string header = "V7PK\x01\x02\x02\x04\x0c"s + std::string(11, '\0');
  std::memcpy(&header[10], &payloadSize, 4);
  std::memcpy(&header[14], &crc, 4);
  return header;
}

// Waits for the package of this header CRC to be installed, or else refused as cut short.
bool PackageDecided(std::uint32_t crc, bool installed) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", crc);
  const char* verdict = installed ? "true" : "false,\"kind\":\"database\",\"reason\":\"transfer cut short";
  return StatusHolds("\"crc\":\""s + hex + "\",\"installed\":" + verdict);
}

std::string Payload(std::size_t size, char seed) {
  std::string payload(size, '\0');
  for (std::size_t i = 0; i < size; ++i) payload[i] = char(seed + i * 7 % 251);
  return payload;
}

// Sends the payload in the unit's chunks until a write fails; the bytes that went.
std::size_t SendChunks(IUnitChannel& channel, const std::string& payload) {
  std::size_t at = 0;
  while (at < payload.size() && Write(channel, payload.substr(at, kChunkSize))) at += kChunkSize;
  return std::min(at, payload.size());
}

// Every exchange in the program and through the bridge (the parameter), on a unit put in order.
class UnitLink : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    for (const char* command : {"plug", "stall 0", "rate 0", "reply-delay 0", "set area 2"})
      ASSERT_EQ(Control(command), "ok") << command;
    CUnitLibrary::SetLibraryNameForTesting(GetParam() ? "" : NativeLibrary());
    CUnitLibraryBridge::Instance().SetLibraryForTesting(NativeLibrary());
    ASSERT_TRUE(library.Load() && library.IsBridged() == GetParam());
  }
  void TearDown() override { CUnitLibrary::SetLibraryNameForTesting(""); }

  HandleChannel Open(const char* name, int timeoutMs = kChannelTimeoutMs) {
    return HandleChannel(library.open_file(name), timeoutMs);
  }

  CUnitLibrary library;
};

// After the reply nothing comes: Interrupt ends the waiting read, and every later call fails.
TEST_P(UnitLink, VersionQueryOnChannelsThatOutliveTheLibraryThenInterrupt) {
  EXPECT_EQ(library.open_dev(), 1);
  // The reply comes while the read is already waiting for it.
  ASSERT_EQ(Control("set area 9"), "ok");
  ASSERT_EQ(Control("reply-delay 300"), "ok");
  HandleChannel reader = Open(UnitChannels::kMainRead, 20000), writer = Open(UnitChannels::kMainWrite);
  ASSERT_TRUE(reader.IsOpen() && writer.IsOpen());
  library.Free();
  ASSERT_TRUE(Write(writer, "$VER>"));
  const std::string reply = Read(reader, 13);
  ASSERT_EQ(reply.size(), 12u);
  EXPECT_EQ(reply[0], 9);
  std::string late = "(still waiting)";
  const auto start = Clock::now();
  std::thread blocked([&] { late = Read(reader, 13); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  reader.Interrupt();
  blocked.join();
  EXPECT_EQ(late, "");
  EXPECT_FALSE(Write(reader, "$VER>"));
  EXPECT_EQ(Read(reader, 13), "");
  EXPECT_LT(MsSince(start), 3000);
}

TEST_P(UnitLink, SpeedUnitCommandAndPoisWrittenAndReadBack) {
  for (char unit : {1, 0}) {
    HandleChannel channel = Open(UnitChannels::kUnitWrite);
    ASSERT_TRUE(Write(channel, "$P1<"s + unit + '\0'));
    channel.Close();
    EXPECT_TRUE(StatusHolds("\"speedUnit\":"s + char('0' + unit))) << int(unit);
  }
  HandleChannel reader = Open(UnitChannels::kPoiRead), writer = Open(UnitChannels::kPoiWrite);
  const std::string records[] = {"\x12\x34\x56\x78\x9a\xbc\xde\xf0\x01\x02\x30\x40"s,
                                 "$VER>$PC>\0\x30\x41"s};  // bytes that look like commands
  ASSERT_TRUE(Write(writer, "$P0<"));
  for (std::size_t slot = 0; slot < std::size(records); ++slot)
    ASSERT_TRUE(Write(writer, "$P8<"s + char(slot) + records[slot]));
  ASSERT_TRUE(Write(writer, "$PC>"));
  EXPECT_EQ(Read(reader, 3).substr(0, 1), "\x02");
  ASSERT_TRUE(Write(writer, "$P6>"));
  for (const std::string& record : records) EXPECT_EQ(Read(reader, 12), record);
  EXPECT_EQ(reader.DiscardPending(), 0);
}

// A package is installed; when the unit stops reading half-way or is pulled out, a write gives
// up after the channel's time-out instead of waiting for ever, and nothing is installed.
TEST_P(UnitLink, PackageIsInstalledAndAStalledOrUnpluggedOneGivenUp) {
  constexpr std::size_t kPart = 256 * 1024;  // the whole first package, what goes before a fault
  const std::string payload = Payload(64 * 1024 * 1024, char(GetParam()));
  const std::uint32_t crc = Crc32(payload.substr(0, kPart));
  for (const std::string fault : {"", "stall 60000", "unplug"}) {
    const std::uint32_t headerCrc = crc + std::uint32_t(fault.size());  // no two packages alike
    HandleChannel channel = Open(UnitChannels::kUpdateWrite);
    ASSERT_TRUE(Write(channel, PackageHeader(fault.empty() ? kPart : payload.size(), headerCrc)));
    ASSERT_EQ(SendChunks(channel, payload.substr(0, kPart)), kPart);
    if (!fault.empty()) {
      ASSERT_EQ(Control(fault), "ok");
      const auto start = Clock::now();
      EXPECT_LT(SendChunks(channel, payload.substr(kPart)), payload.size() - kPart);
      EXPECT_LT(MsSince(start), (fault == "unplug" ? 3 : 10) * kChannelTimeoutMs);
      ASSERT_EQ(Control("stall 0"), "ok");
    }
    channel.Close();
    EXPECT_TRUE(PackageDecided(headerCrc, fault.empty())) << fault;
  }
  EXPECT_EQ(library.open_dev(), CUnitLibrary::kNoUnit);
  EXPECT_FALSE(IsChannelOpen(library.open_file(UnitChannels::kMainRead)));
}

INSTANTIATE_TEST_SUITE_P(InProgramAndBridged, UnitLink, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Bridged" : "InProgram"; });

// The bridge: used exactly for a library of another processor, started again after it died,
// ending when the program closes its input, and ended when it does not answer.
TEST(Bridge, ServesTheLibraryOfAnotherProcessorForTheProgramsLifeAndNoLonger) {
  ASSERT_EQ(Control("plug"), "ok");
  CUnitLibraryBridge& bridge = CUnitLibraryBridge::Instance();
  bridge.SetLibraryForTesting(NativeLibrary());
  const std::string beside = CUnitLibraryBridge::ProgramFolder() + "\\" + CUnitLibrary::kLibraryName;
  ASSERT_EQ(::LoadLibraryA(beside.c_str()), nullptr) << beside << " should be the 32-bit library";
  ASSERT_EQ(::GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
  CUnitLibrary library;
  ASSERT_TRUE(library.Load() && library.IsBridged());
  EXPECT_EQ(library.open_dev(), 1);
  const DWORD first = bridge.ProcessIdForTesting();
  HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, first);
  ASSERT_NE(process, nullptr);
  ::TerminateProcess(process, 9);
  ::WaitForSingleObject(process, kWaitMs);
  ::CloseHandle(process);
  EXPECT_EQ(library.open_dev(), 1);
  EXPECT_TRUE(HandleChannel(library.open_file(UnitChannels::kMainWrite)).IsOpen());
  const DWORD second = bridge.ProcessIdForTesting();
  EXPECT_NE(second, first);
  process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, second);
  ASSERT_NE(process, nullptr);
  library.Free();
  bridge.SetLibraryForTesting("");  // the program's end closed
  DWORD exitCode = STILL_ACTIVE;
  EXPECT_EQ(::WaitForSingleObject(process, kWaitMs), WAIT_OBJECT_0);
  EXPECT_TRUE(::GetExitCodeProcess(process, &exitCode));
  EXPECT_EQ(exitCode, 0u);  // not terminated: it saw its input end
  ::CloseHandle(process);

  char self[MAX_PATH];
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  constexpr int kTimeoutMs = 500;
  bridge.SetTimeoutForTesting(kTimeoutMs);
  bridge.SetCommandLineForTesting("\""s + self + "\" " + kSilentBridgeOption);
  const auto start = Clock::now();
  EXPECT_FALSE(library.Load());
  EXPECT_LT(MsSince(start), 4 * kTimeoutMs);
  EXPECT_EQ(bridge.ProcessIdForTesting(), 0u);
  bridge.SetCommandLineForTesting("");
  bridge.SetTimeoutForTesting(0);
}

// The channel's own rules, on a pipe: time-out, what is waiting dropped, closed once.
TEST(HandleChannelOnAPipe, TimesOutDropsWhatWaitsAndClosesOnce) {
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
  HandleChannel reader(reinterpret_cast<ChannelHandle>(readEnd), kChannelTimeoutMs / 2);
  HandleChannel writer(reinterpret_cast<ChannelHandle>(writeEnd));
  auto start = Clock::now();
  EXPECT_EQ(Read(reader, 8), "");
  EXPECT_GE(MsSince(start), kChannelTimeoutMs / 2 - 50);
  EXPECT_LT(MsSince(start), 3 * kChannelTimeoutMs);
  ASSERT_TRUE(Write(writer, "stale") && Write(writer, "reply"));
  EXPECT_GE(reader.DiscardPending(), 1);
  ASSERT_TRUE(Write(writer, "fresh"));
  EXPECT_EQ(Read(reader, 8), "fresh");
  reader.Close();
  reader.Close();
  EXPECT_FALSE(reader.IsOpen());
  EXPECT_FALSE(Write(writer, "gone"));  // nobody reads any more
}

}  // namespace

int main(int argc, char** argv) {
  // Started as a bridge that takes requests and never answers.
  if (argc > 1 && std::string(argv[1]) == kSilentBridgeOption) ::Sleep(INFINITE);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

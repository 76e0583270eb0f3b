// The unit link built for Windows, run under Wine against the emulated unit on this
// machine (reached over TCP by the stand-in library): the channel over a HANDLE, the
// library loaded into the program, and the same library loaded by the bridge because the
// one beside the program is 32-bit. `./dev test --windows` builds and runs it.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
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

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = kWaitMs) {
  const auto start = Clock::now();
  while (!condition()) {
    if (MsSince(start) > timeoutMs) return false;
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

std::uint32_t Crc32(const std::string& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string LittleEndian(std::uint32_t value) {
  return {char(value & 0xFF), char((value >> 8) & 0xFF), char((value >> 16) & 0xFF), char(value >> 24)};
}

// The 20-byte header of a database package of the unit's own format.
std::string PackageHeader(std::size_t payloadSize, std::uint32_t crc) {
  return "V7PK\x01\x02\x02\x04\x0c\x00"s + LittleEndian(std::uint32_t(payloadSize)) + LittleEndian(crc) + "\0\0"s;
}

// How the unit's status tells what became of the package whose header carried this CRC.
std::string PackageVerdict(std::uint32_t crc, bool installed) {
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", crc);
  return "\"crc\":\""s + hex + "\",\"installed\":" + (installed ? "true" : "false");
}

std::string Payload(std::size_t size, char seed) {
  std::string payload(size, '\0');
  for (std::size_t i = 0; i < size; ++i) payload[i] = char(seed + i * 7 % 251);
  return payload;
}

// Sends payload chunks from `from` on; the index of the first chunk whose write failed, or
// the chunk count when all went.
std::size_t SendChunks(IUnitChannel& channel, const std::string& payload, std::size_t from = 0,
                       std::size_t to = std::string::npos) {
  const std::size_t end = std::min(to, payload.size());
  for (std::size_t at = from; at < end; at += kChunkSize)
    if (!Write(channel, payload.substr(at, kChunkSize))) return at / kChunkSize;
  return (end + kChunkSize - 1) / kChunkSize;
}

struct LinkMode {
  const char* name;
  bool bridged;
};
void PrintTo(const LinkMode& mode, std::ostream* out) { *out << mode.name; }

// Every exchange once with the library loaded into the program and once through the
// bridge, against one emulated unit put back in order before each test.
class UnitLink : public ::testing::TestWithParam<LinkMode> {
 protected:
  void SetUp() override {
    ASSERT_NE(UnitTcpLink::PortFromEnvironment(), 0) << "V770_UNIT_PORT names no emulated unit";
    for (const char* command : {"plug", "stall 0", "rate 0", "reply-delay 0", "set area 2"})
      ASSERT_EQ(Control(command), "ok") << command;
    CUnitLibrary::SetLibraryNameForTesting(GetParam().bridged ? "" : NativeLibrary());
    CUnitLibraryBridge::Instance().SetLibraryForTesting(NativeLibrary());
    ASSERT_TRUE(library.Load());
    ASSERT_EQ(library.IsBridged(), GetParam().bridged);
  }
  void TearDown() override { CUnitLibrary::SetLibraryNameForTesting(""); }

  HandleChannel Open(const char* name, int timeoutMs = kChannelTimeoutMs) {
    return HandleChannel(library.open_file(name), timeoutMs);
  }

  CUnitLibrary library;
};

TEST_P(UnitLink, VersionQueryOnChannelsThatOutliveTheLibrary) {
  EXPECT_EQ(library.open_dev(), 1);
  // The reply comes while the read is already waiting for it.
  ASSERT_EQ(Control("set area 9"), "ok");
  ASSERT_EQ(Control("reply-delay 300"), "ok");
  HandleChannel reader = Open(UnitChannels::kMainRead), writer = Open(UnitChannels::kMainWrite);
  ASSERT_TRUE(reader.IsOpen() && writer.IsOpen());
  library.Free();
  ASSERT_TRUE(Write(writer, "$VER>"));
  const std::string reply = Read(reader, 13);
  ASSERT_EQ(reply.size(), 12u);
  EXPECT_EQ(reply[0], 9);
  // Nothing else came: a second read times out.
  const auto start = Clock::now();
  EXPECT_EQ(Read(reader, 13), "");
  EXPECT_GE(MsSince(start), kChannelTimeoutMs - 50);
}

TEST_P(UnitLink, SpeedUnitCommandChangesTheUnit) {
  for (char unit : {1, 0}) {
    HandleChannel channel = Open(UnitChannels::kUnitWrite);
    ASSERT_TRUE(Write(channel, "$P1<"s + unit + '\0'));
    channel.Close();
    EXPECT_TRUE(WaitFor([&] { return Control("status").find("\"speedUnit\":"s + char('0' + unit)) != std::string::npos; }))
        << int(unit);
  }
}

TEST_P(UnitLink, PoisWrittenAreReadBack) {
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

TEST_P(UnitLink, PackageIsInstalledAndAStalledOneGivenUp) {
  std::string payload = Payload(256 * 1024, char(GetParam().bridged));
  const std::uint32_t marker = std::random_device{}();
  payload.replace(0, 4, LittleEndian(marker));  // a CRC no earlier package had
  {
    HandleChannel channel = Open(UnitChannels::kUpdateWrite);
    ASSERT_TRUE(Write(channel, PackageHeader(payload.size(), Crc32(payload))));
    ASSERT_EQ(SendChunks(channel, payload), (payload.size() + kChunkSize - 1) / kChunkSize);
  }
  EXPECT_TRUE(WaitFor([&] { return Control("status").find(PackageVerdict(Crc32(payload), true)) != std::string::npos; }));

  // The unit stops reading half-way: once the link's buffers are full, a write gives up
  // after the channel's time-out instead of waiting for ever.
  const std::string large = Payload(64 * 1024 * 1024, 5);
  HandleChannel channel = Open(UnitChannels::kUpdateWrite);
  ASSERT_TRUE(Write(channel, PackageHeader(large.size(), marker)));
  ASSERT_EQ(SendChunks(channel, large, 0, payload.size()), payload.size() / kChunkSize);
  ASSERT_EQ(Control("stall 60000"), "ok");
  const auto start = Clock::now();
  EXPECT_LT(SendChunks(channel, large, payload.size()), large.size() / kChunkSize);
  EXPECT_LT(MsSince(start), 10 * kChannelTimeoutMs);
  ASSERT_EQ(Control("stall 0"), "ok");
  channel.Close();
  EXPECT_TRUE(WaitFor([&] {
    return Control("status").find(PackageVerdict(marker, false) + ",\"kind\":\"database\",\"reason\":\"transfer cut short") !=
           std::string::npos;
  }));
}

TEST_P(UnitLink, UnplugDuringATransferFailsTheWrites) {
  const std::string payload = Payload(512 * 1024, 3);
  HandleChannel channel = Open(UnitChannels::kUpdateWrite);
  ASSERT_TRUE(Write(channel, PackageHeader(payload.size(), Crc32(payload))));
  ASSERT_EQ(SendChunks(channel, payload, 0, 8 * kChunkSize), 8u);
  ASSERT_EQ(Control("unplug"), "ok");
  const auto start = Clock::now();
  EXPECT_LT(SendChunks(channel, payload, 8 * kChunkSize), payload.size() / kChunkSize);
  EXPECT_LT(MsSince(start), 3 * kChannelTimeoutMs);
  EXPECT_EQ(library.open_dev(), CUnitLibrary::kNoUnit);
  EXPECT_FALSE(IsChannelOpen(library.open_file(UnitChannels::kMainRead)));
}

TEST_P(UnitLink, InterruptEndsABlockedReadAndEveryLaterCall) {
  constexpr int kLongTimeoutMs = 20000;
  HandleChannel reader = Open(UnitChannels::kMainRead, kLongTimeoutMs);
  ASSERT_TRUE(reader.IsOpen());
  bool read = true;
  const auto start = Clock::now();
  std::thread blocked([&] { read = !Read(reader, 13).empty(); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  reader.Interrupt();
  blocked.join();
  EXPECT_FALSE(read);
  EXPECT_LT(MsSince(start), 3000);
  EXPECT_FALSE(Write(reader, "$VER>"));
  EXPECT_EQ(Read(reader, 13), "");
  EXPECT_LT(MsSince(start), 3000);
}

INSTANTIATE_TEST_SUITE_P(InProgramAndBridged, UnitLink,
                         ::testing::Values(LinkMode{"InProgram", false}, LinkMode{"Bridged", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The bridge itself: used exactly when the library beside the program is of another
// processor, started again after it died, and ended when it does not answer.
class Bridge : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(Control("plug"), "ok");
    CUnitLibraryBridge::Instance().SetLibraryForTesting(NativeLibrary());
  }
  void TearDown() override {
    CUnitLibraryBridge::Instance().SetCommandLineForTesting("");
    CUnitLibraryBridge::Instance().SetTimeoutForTesting(0);
  }
};

TEST_F(Bridge, LoadsTheLibraryThatIsOfAnotherProcessor) {
  const std::string beside = CUnitLibraryBridge::ProgramFolder() + "\\" + CUnitLibrary::kLibraryName;
  HMODULE module = ::LoadLibraryA(beside.c_str());
  ASSERT_EQ(module, nullptr) << beside << " should be the 32-bit library";
  ASSERT_EQ(::GetLastError(), DWORD(ERROR_BAD_EXE_FORMAT));
  CUnitLibrary library;
  ASSERT_TRUE(library.Load());
  EXPECT_TRUE(library.IsBridged());
  EXPECT_NE(CUnitLibraryBridge::Instance().ProcessIdForTesting(), 0u);
  EXPECT_EQ(library.open_dev(), 1);
}

TEST_F(Bridge, ADeadBridgeIsStartedAgainAndLoadsTheLibraryAgain) {
  CUnitLibrary library;
  ASSERT_TRUE(library.Load() && library.IsBridged());
  const DWORD first = CUnitLibraryBridge::Instance().ProcessIdForTesting();
  HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, first);
  ASSERT_NE(process, nullptr);
  ::TerminateProcess(process, 9);
  ::WaitForSingleObject(process, kWaitMs);
  ::CloseHandle(process);
  EXPECT_EQ(library.open_dev(), 1);
  HandleChannel channel(library.open_file(UnitChannels::kMainWrite));
  EXPECT_TRUE(channel.IsOpen());
  const DWORD second = CUnitLibraryBridge::Instance().ProcessIdForTesting();
  EXPECT_NE(second, 0u);
  EXPECT_NE(second, first);
}

TEST_F(Bridge, EndsByItselfWhenTheProgramClosesItsInput) {
  CUnitLibrary library;
  ASSERT_TRUE(library.Load() && library.IsBridged());
  HANDLE process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                 CUnitLibraryBridge::Instance().ProcessIdForTesting());
  ASSERT_NE(process, nullptr);
  library.Free();
  CUnitLibraryBridge::Instance().SetLibraryForTesting("");  // ends this bridge
  DWORD exitCode = STILL_ACTIVE;
  EXPECT_EQ(::WaitForSingleObject(process, kWaitMs), WAIT_OBJECT_0);
  EXPECT_TRUE(::GetExitCodeProcess(process, &exitCode));
  EXPECT_EQ(exitCode, 0u);  // not terminated: it saw its input end
  ::CloseHandle(process);
}

TEST_F(Bridge, ABridgeThatDoesNotAnswerIsEndedInTime) {
  char self[MAX_PATH];
  ::GetModuleFileNameA(nullptr, self, MAX_PATH);
  constexpr int kTimeoutMs = 500;
  CUnitLibraryBridge::Instance().SetTimeoutForTesting(kTimeoutMs);
  CUnitLibraryBridge::Instance().SetCommandLineForTesting("\""s + self + "\" " + kSilentBridgeOption);
  CUnitLibrary library;
  const auto start = Clock::now();
  EXPECT_FALSE(library.Load());
  EXPECT_LT(MsSince(start), 4 * kTimeoutMs);
  EXPECT_EQ(CUnitLibraryBridge::Instance().ProcessIdForTesting(), 0u);
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
  for (int i = 1; i < argc; ++i)
    if (std::string(argv[i]) == kSilentBridgeOption) ::Sleep(INFINITE);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

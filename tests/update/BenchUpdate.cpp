// bench_update: the package sender's cost over plain 2048-byte writes into a unit channel
// opened through the same library, both sending 32 MiB to a private emulated unit at
// unlimited rate. Prints "NAME VALUE UNIT"; transfer_ratio_32MiB is the figure (at most 1.5).
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <limits>

#include "UpdateTestSupport.h"
#include "device/UnitExchange.h"
#include "device/UnitLibrary.h"
#include "support/UnitEmulator.h"
#include "update/PackageSender.h"

using namespace UpdateTestSupport;

namespace {

constexpr std::size_t kPackageSize = 32u * 1024 * 1024;
constexpr int kRounds = 7;  // the fastest round of each way counts: other load only slows one down
constexpr int kTimeoutMs = 120000;

// Waits until the unit has taken `count` packages in all, so no round runs into the last.
bool WaitForPackages(UnitEmulator& unit, int count) {
  const auto taken = [count](const QJsonObject& status) { return ReceivedPackages(status).size() >= count; };
  return unit.WaitForStatus(taken, kTimeoutMs);
}

// The program's transfer, from the start to the sender's finished report.
double ProgramTransferMs(const QByteArray& file) {
  PackageSender sender;
  QEventLoop loop;
  double ms = -1;
  const TestSupport::Clock clock;
  QObject::connect(&sender, &PackageSender::finished, [&](PackageSender::Outcome result) {
    if (result == PackageSender::Outcome::Sent) ms = static_cast<double>(clock.nsecsElapsed()) / 1e6;
    loop.quit();
  });
  QTimer::singleShot(kTimeoutMs, &loop, &QEventLoop::quit);
  sender.Start(file, UnitChannels::kUpdateWrite);
  loop.exec();
  return ms;
}

// The same bytes written straight into the channel: header, then 2048-byte chunks.
double PlainWritesMs(const QByteArray& file) {
  const TestSupport::Clock clock;
  CUnitLibrary library;
  if (!library.Load()) return -1;
  UnitChannel channel(library.open_file(UnitChannels::kUpdateWrite), kTimeoutMs);
  library.Free();
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(file.constData());
  bool ok = channel.IsOpen() && channel.Write(bytes, UnitExchange::kHeaderSize);
  const std::size_t size = static_cast<std::size_t>(file.size());
  for (std::size_t at = UnitExchange::kPayloadOffset; ok && at < size; at += UnitExchange::kChunkSize)
    ok = channel.Write(bytes + at, std::min(UnitExchange::kChunkSize, size - at));
  return ok ? static_cast<double>(clock.nsecsElapsed()) / 1e6 : -1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  UnitEmulator unit;
  if (!unit.Start() || !unit.Client().Rate(0)) {
    std::fprintf(stderr, "bench_update: the emulated unit did not start\n%s\n", unit.DaemonLog().constData());
    return 1;
  }
  const QByteArray file = Database(kPackageSize - PackageHeader::kPayloadOffset);

  double programMs = std::numeric_limits<double>::max(), plainMs = programMs;
  int packages = 0;
  for (int round = 0; round < kRounds; ++round) {
    const double program = ProgramTransferMs(file);
    const bool programSent = program >= 0 && WaitForPackages(unit, ++packages);
    const double plain = programSent ? PlainWritesMs(file) : -1;
    if (plain < 0 || !WaitForPackages(unit, ++packages)) {
      std::fprintf(stderr, "bench_update: the %s failed\n", programSent ? "plain writes" : "program's send");
      return 1;
    }
    programMs = std::min(programMs, program);
    plainMs = std::min(plainMs, plain);
  }
  std::printf("transfer_program_32MiB %.1f ms\n", programMs);
  std::printf("transfer_plain_32MiB %.1f ms\n", plainMs);
  std::printf("transfer_ratio_32MiB %.3f x\n", programMs / plainMs);
  return 0;
}

// bench_update: the package sender's cost over plain 2048-byte writes into a unit channel
// opened through the same library, both sending 32 MiB to a private emulated unit at
// unlimited rate, the fastest of seven rounds each (other load only slows a round down).
// Prints "NAME VALUE UNIT"; transfer_ratio_32MiB is the figure (at most 1.5).
#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include "UpdateTestSupport.h"
#include "device/UnitExchange.h"
#include "device/UnitLibrary.h"
#include "support/UnitEmulator.h"
#include "update/PackageSender.h"

namespace {

constexpr int kTimeoutMs = 120000;

// The program's transfer, from the start to the sender's finished report; -1 if it failed.
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
  const QByteArray file = UpdateTestSupport::Database(32u * 1024 * 1024 - PackageHeader::kPayloadOffset);
  double programMs = 1e9, plainMs = 1e9;
  int packages = 0;
  // Each send waits until the unit has taken its package, so no round runs into the last.
  const auto send = [&](double ms, double& fastest) {
    const auto taken = [&](const QJsonObject& s) { return s["packages"].toArray().size() > packages; };
    fastest = std::min(fastest, ms);
    return ms >= 0 && unit.WaitForStatus(taken, kTimeoutMs) && ++packages;
  };
  bool ok = unit.Start() && unit.Client().Rate(0);
  for (int round = 0; ok && round < 7; ++round)
    ok = send(ProgramTransferMs(file), programMs) && send(PlainWritesMs(file), plainMs);
  if (!ok) {
    std::fprintf(stderr, "bench_update: a transfer failed\n%s\n", unit.DaemonLog().constData());
    return 1;
  }
  std::printf("transfer_program_32MiB %.1f ms\n", programMs);
  std::printf("transfer_plain_32MiB %.1f ms\n", plainMs);
  std::printf("transfer_ratio_32MiB %.3f x\n", programMs / plainMs);
  return 0;
}

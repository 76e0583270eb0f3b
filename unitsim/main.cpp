// v770-unit: the emulated V770 unit (serve), its remote control (ctl) and the maker of
// seeded state files (make-state).
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "unitsim/PoiRecordEncoder.h"
#include "unitsim/UnitDaemon.h"
#include "unitsim/UnitProtocol.h"
#include "unitsim/UnitSimClient.h"
#include "unitsim/UnitState.h"

namespace {

void PrintHelp() {
  std::printf(
      "Usage:\n"
      "  v770-unit serve [--state FILE] [--socket PATH] [--tcp 127.0.0.1:PORT]\n"
      "      Runs one emulated unit. Its state is read from FILE at start (a missing file\n"
      "      starts a fresh unit) and rewritten on every change; without --state it lives in\n"
      "      memory only. With --tcp it is also reached over TCP on that loopback address\n"
      "      (PORT 0: any free port; the port taken is printed), as the unit library built\n"
      "      for Windows reaches it, with the port in $%s.\n"
      "  v770-unit ctl [--socket PATH] COMMAND\n"
      "      plug | unplug          plug the unit in or pull it out (closes every channel)\n"
      "      status                 the whole state as JSON\n"
      "      set FIELD VALUE        change a field (below)\n"
      "      stall MS               stop reading the channels for MS milliseconds\n"
      "      reply-delay MS         hold every reply back MS milliseconds\n"
      "      rate BYTES_PER_S       take at most that many bytes a second (0 = unlimited)\n"
      "  v770-unit make-state DESCRIPTION OUTPUT\n"
      "      Writes a state file from a description: a state file whose \"pois\" list gives\n"
      "      POIs as {\"slot\", \"date\" YYYY/MM/DD, \"time\" HH:MM, \"latitude\", \"longitude\",\n"
      "      \"heading\"}.\n"
      "\n"
      "The unit: PIPE00Main/PIPE01Main answer \"$VER>\" with the 12 reply bytes.\n"
      "PIPE00POI/PIPE01POI answer \"$PC>\" (count, capacity, 0) and \"$P6>\" (one 12-byte\n"
      "message per stored record, in slot order) and take \"$P0<\" and \"$P8<\". PIPE00UNIT\n"
      "takes \"$P1<\". PIPE00DB and PIPE00RESET (firmware only) take a package: its 20-byte\n"
      "V7PK header, then the payload; it is installed when length and CRC match, and a\n"
      "firmware install restarts the unit (gone for about 2 s). A reply goes to the read\n"
      "channel of its name opened last; unplugging closes every channel.\n"
      "\n"
      "Socket: --socket, else $%s, else $%s/%s, else /tmp/v770-unit-<uid>.sock.\n"
      "\n"
      "Fields for set (reply bytes take -128 to 255):\n",
      UnitProtocol::kTcpPortEnv, UnitProtocol::kSocketEnv, UnitProtocol::kRuntimeDirEnv,
      UnitProtocol::kRuntimeSocketName);
  for (const UnitState::Field& field : UnitState::Fields()) std::printf("  %-13s %s\n", field.name, field.help);
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "v770-unit: %s\n", message.c_str());
  return EXIT_FAILURE;
}

// Takes "--NAME VALUE" out of args.
std::string TakeOption(std::vector<std::string>& args, const char* name) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == name) {
      std::string value = args[i + 1];
      args.erase(args.begin() + long(i), args.begin() + long(i) + 2);
      return value;
    }
  }
  return {};
}

std::optional<QJsonObject> ReadJsonObject(const std::string& path, std::string* error) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    *error = "cannot read " + path;
    return std::nullopt;
  }
  QJsonParseError parseError;
  const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
  if (!document.isObject()) {
    *error = path + " is no JSON object: " + parseError.errorString().toStdString();
    return std::nullopt;
  }
  return document.object();
}

bool WriteState(const std::string& path, const UnitState& state) {
  QSaveFile file(QString::fromStdString(path));
  return file.open(QIODevice::WriteOnly) && file.write(QJsonDocument(state.ToJson()).toJson()) >= 0 && file.commit();
}

std::optional<UnitState> StateFromFile(const std::string& path, std::string* error) {
  const auto json = ReadJsonObject(path, error);
  if (!json) return std::nullopt;
  QString stateError;
  auto state = UnitState::FromJson(*json, &stateError);
  if (!state) *error = path + ": " + stateError.toStdString();
  return state;
}

int Serve(std::vector<std::string> args) {
  const std::string statePath = TakeOption(args, "--state");
  std::string socketPath = TakeOption(args, "--socket");
  const std::string tcp = TakeOption(args, "--tcp");
  if (!args.empty()) return Fail("serve: unexpected argument " + args.front());
  if (socketPath.empty()) socketPath = UnitProtocol::SocketPath();

  UnitState state;
  if (!statePath.empty()) {
    if (QFile::exists(QString::fromStdString(statePath))) {
      std::string error;
      auto loaded = StateFromFile(statePath, &error);
      if (!loaded) return Fail(error);
      state = std::move(*loaded);
    } else if (!WriteState(statePath, state)) {
      return Fail("cannot write the state file " + statePath);
    }
  }
  UnitDaemon daemon(socketPath, statePath, std::move(state));
  std::string error;
  if (!daemon.Listen(&error)) return Fail(error);
  if (!tcp.empty()) {
    const std::size_t colon = tcp.rfind(':');
    int port = -1;
    const char* end = tcp.data() + tcp.size();
    if (colon == std::string::npos || std::from_chars(tcp.data() + colon + 1, end, port).ptr != end)
      return Fail("--tcp takes a loopback address and a port, such as 127.0.0.1:0, not " + tcp);
    if (!daemon.ListenTcp(tcp.substr(0, colon), port, &error)) return Fail("--tcp " + tcp + ": " + error);
    std::fprintf(stderr, "v770-unit: serving on %s and tcp %s:%d\n", socketPath.c_str(),
                 tcp.substr(0, colon).c_str(), daemon.TcpPort());
  } else {
    std::fprintf(stderr, "v770-unit: serving on %s\n", socketPath.c_str());
  }
  daemon.Run();
  return EXIT_SUCCESS;
}

int Control(std::vector<std::string> args) {
  const std::string socketPath = TakeOption(args, "--socket");
  if (args.empty()) return Fail("ctl: no command (see --help)");
  std::string command;
  for (const std::string& arg : args) command += (command.empty() ? "" : " ") + arg;
  UnitSimClient client(socketPath.empty() ? UnitProtocol::SocketPath() : socketPath);
  const auto answer = client.Command(command);
  if (!answer) return Fail(client.LastError());
  if (args.front() == "status")
    std::fputs(QJsonDocument::fromJson(QByteArray::fromStdString(*answer)).toJson().constData(), stdout);
  else if (!answer->empty())
    std::puts(answer->c_str());
  return EXIT_SUCCESS;
}

int MakeState(const std::vector<std::string>& args) {
  if (args.size() != 2) return Fail("make-state DESCRIPTION OUTPUT");
  std::string error;
  const auto description = ReadJsonObject(args[0], &error);
  if (!description) return Fail(error);
  QString stateError;
  auto state = UnitState::FromJson(*description, &stateError);
  if (!state) return Fail(args[0] + ": " + stateError.toStdString());
  for (const QJsonValue& value : (*description)["pois"].toArray()) {
    const QJsonObject poi = value.toObject();
    PoiFields fields;
    const bool dateRead = std::sscanf(poi["date"].toString().toLatin1().constData(), "%d/%d/%d", &fields.year,
                                      &fields.month, &fields.day) == 3;
    const bool timeRead =
        std::sscanf(poi["time"].toString().toLatin1().constData(), "%d:%d", &fields.hour, &fields.minute) == 2;
    fields.latitude = poi["latitude"].toDouble();
    fields.longitude = poi["longitude"].toDouble();
    fields.heading = poi["heading"].toInt();
    const int slot = poi["slot"].toInt(-1);
    const auto record = PoiRecordEncoder::Encode(fields, &error);
    if (!dateRead || !timeRead) error = "date or time unreadable";
    if (!dateRead || !timeRead || !record || !state->StorePoi(slot, *record))
      return Fail(args[0] + ": POI in slot " + std::to_string(slot) + ": " + (error.empty() ? "no such slot" : error));
  }
  if (!WriteState(args[1], *state)) return Fail("cannot write " + args[1]);
  return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args.front() == "--help" || args.front() == "-h" || args.front() == "help") {
    PrintHelp();
    return args.empty() ? EXIT_FAILURE : EXIT_SUCCESS;
  }
  const std::string command = args.front();
  args.erase(args.begin());
  if (command == "serve") return Serve(std::move(args));
  if (command == "ctl") return Control(std::move(args));
  if (command == "make-state") return MakeState(args);
  return Fail("unknown command " + command + " (see --help)");
}

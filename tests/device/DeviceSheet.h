#pragma once

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QTemporaryDir>
#include <memory>

#include "app/CV700UpdaterApp.h"
#include "app/CV700UpdaterDlg.h"
#include "platform/InternetState.h"
#include "platform/UiSeams.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"
#include "unitsim/UnitProtocol.h"

// A sheet as the application builds it (main and recovery pages, start-up run with the
// shipped data files in a private working folder), with every message box answered and
// recorded instead of shown.
class DeviceSheet {
 public:
  struct Message {
    QString text;
    UiSeams::MessageIcon icon;
  };

  DeviceSheet() : m_previousFolder(QDir::currentPath()) {
    for (const char* name : {CV700UpdaterDlg::kUITextFileName, CV700UpdaterDlg::kVersionFileName})
      QFile::copy(TestSupport::ShippedDataPath(QString::fromLatin1(name)),
                  m_work.filePath(QString::fromLatin1(name)));
    QDir::setCurrent(m_work.path());
    // Without an emulator of its own the test must not find anybody else's unit.
    if (!qEnvironmentVariableIsSet(UnitProtocol::kSocketEnv)) {
      qputenv(UnitProtocol::kSocketEnv, m_work.filePath(QStringLiteral("no-unit.sock")).toLocal8Bit());
      m_ownSocketEnv = true;
    }
    UiSeams::SetMessageHandler([this](const UiSeams::MessageRequest& request) {
      m_messages.append({request.text, request.icon});
      return QMessageBox::Ok;
    });
    InternetState::SetForTesting(false);
    sheet = std::make_unique<CV700UpdaterDlg>();
    theApp.m_pSheet = sheet.get();
    sheet->m_nLanguageID = kLanguageEnglish;
    sheet->AddStartupPages();
    sheet->OnInitDialog();
  }

  ~DeviceSheet() {
    sheet.reset();
    theApp.m_pSheet = nullptr;
    UiSeams::SetMessageHandler({});
    InternetState::SetForTesting(std::nullopt);
    QDir::setCurrent(m_previousFolder);
    if (m_ownSocketEnv) qunsetenv(UnitProtocol::kSocketEnv);
  }

  CMainTab& Main() { return sheet->m_pageMain; }
  bool Shown(const CPropertyPage& page) const { return sheet->GetPageIndex(&page) >= 0; }
  bool DevicePagesShown() const {
    return Shown(sheet->m_pageUpdate) && Shown(sheet->m_pagePOI) && Shown(sheet->m_pageOption);
  }
  bool NoDevicePages() const {
    return !Shown(sheet->m_pageUpdate) && !Shown(sheet->m_pagePOI) && !Shown(sheet->m_pageOption);
  }
  const QList<Message>& Messages() const { return m_messages; }
  bool SawMessage(const QString& text) const {
    for (const Message& message : m_messages)
      if (message.text == text) return true;
    return false;
  }

  std::unique_ptr<CV700UpdaterDlg> sheet;

 private:
  QTemporaryDir m_work;
  QString m_previousFolder;
  QList<Message> m_messages;
  bool m_ownSocketEnv = false;
};

// The state of a plugged unit with the given reply bytes (names as the emulator knows them).
inline QJsonObject PluggedUnit(const QJsonObject& version, int speedUnit = 0) {
  return QJsonObject{{"plugged", true}, {"version", version}, {"speedUnit", speedUnit}};
}

// Reply bytes of a unit in area 3 (France in the shipped catalogue), database 100315,
// hardware 7, firmware 1.10, voice 10203; byte 11 is the speed unit the option page shows.
inline QJsonObject UnitVersions(int speedUnitByte = 1) {
  return {{"area", 3},      {"db1", 2},    {"db2", 3},    {"db3", 15},   {"hwid", 7},
          {"fwmajor", 1},   {"fwminor", 10}, {"voice1", 1}, {"voice2", 2}, {"voice3", 3},
          {"voicelang", speedUnitByte}};
}

// The unit answers about 2 s after it is seen (one poll period, then the 1.5 s wait); a
// loaded machine gets room on top.
inline constexpr int kIdentifyTimeoutMs = 8000;

// A private emulated unit, plugged in, and a sheet that has identified it.
struct IdentifiedSheet {
  UnitEmulator unit;
  std::unique_ptr<DeviceSheet> s;

  bool Start(const QJsonObject& versions = UnitVersions()) {
    if (!unit.Start(PluggedUnit(versions))) return false;
    s = std::make_unique<DeviceSheet>();
    return TestSupport::WaitUntil([&] { return s->DevicePagesShown(); }, kIdentifyTimeoutMs);
  }
};

// What the emulator received on a channel, oldest first.
inline QList<QByteArray> ReceivedOn(UnitEmulator& unit, const QString& channel) {
  QList<QByteArray> received;
  for (const auto& entry : unit.Status()[QStringLiteral("log")].toObject()[channel].toArray()) {
    const QJsonObject item = entry.toObject();
    if (item[QStringLiteral("event")].toString() == QStringLiteral("received"))
      received.append(QByteArray::fromHex(item[QStringLiteral("hex")].toString().toLatin1()));
  }
  return received;
}

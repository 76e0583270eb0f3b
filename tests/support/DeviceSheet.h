#pragma once

#include <QDir>
#include <QFile>
#include <memory>

#include "app/CV700UpdaterApp.h"
#include "app/CV700UpdaterDlg.h"
#include "platform/InternetState.h"
#include "platform/UiSeams.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"
#include "unitsim/UnitProtocol.h"

// The application's sheet in a private working folder with the shipped data files, its message
// boxes recorded instead of shown, no network. With `start` false it waits for Start.
class DeviceSheet {
 public:
  explicit DeviceSheet(bool start = true) : m_previousFolder(QDir::currentPath()) {
    EnterFolder(m_work.path(), true);
    // Without an emulator of its own the test must not find anybody else's unit.
    if (!qEnvironmentVariableIsSet(UnitProtocol::kSocketEnv)) {
      qputenv(UnitProtocol::kSocketEnv, m_work.filePath(QStringLiteral("no-unit.sock")).toLocal8Bit());
      m_ownSocketEnv = true;
    }
    UiSeams::SetMessageHandler([this](const UiSeams::MessageRequest& request) {
      m_messages.append(request.text);
      return QMessageBox::Ok;
    });
    InternetState::SetForTesting(false);
    if (start) Start();
  }

  ~DeviceSheet() {
    sheet.reset();
    theApp.m_pSheet = nullptr;
    UiSeams::SetMessageHandler({});
    InternetState::SetForTesting(std::nullopt);
    QDir::setCurrent(m_previousFolder);
    if (m_ownSocketEnv) qunsetenv(UnitProtocol::kSocketEnv);
  }

  // Makes `folder` (created when needed) the working folder, with or without the data files.
  void EnterFolder(const QString& folder, bool withFiles) {
    ASSERT_TRUE(QDir().mkpath(folder));
    for (const char* name : {CV700UpdaterDlg::kUITextFileName, CV700UpdaterDlg::kVersionFileName})
      ASSERT_TRUE(!withFiles || QFile::copy(TestSupport::ShippedDataPath(name), folder + '/' + name)) << name;
    ASSERT_TRUE(QDir::setCurrent(folder));
  }
  // A new sheet, started in English, in place of the one there was.
  CV700UpdaterDlg& Start() {
    sheet = std::make_unique<CV700UpdaterDlg>();
    theApp.m_pSheet = sheet.get();
    sheet->m_nLanguageID = kLanguageEnglish;
    sheet->AddStartupPages();
    EXPECT_TRUE(sheet->OnInitDialog());
    return *sheet;
  }

  // How many of the update, POI and option pages are shown.
  int DevicePages() const {
    const CPropertyPage* pages[] = {&sheet->m_pageUpdate, &sheet->m_pagePOI, &sheet->m_pageOption};
    return int(std::count_if(std::begin(pages), std::end(pages),
                             [&](auto* p) { return sheet->GetPageIndex(p) >= 0; }));
  }
  const QStringList& Messages() const { return m_messages; }

  std::unique_ptr<CV700UpdaterDlg> sheet;

 private:
  QTemporaryDir m_work;
  QString m_previousFolder;
  QStringList m_messages;
  bool m_ownSocketEnv = false;
};

// A unit answers about 2 s after it is seen (one poll period, then the 1.5 s wait), plus room
// for a loaded machine. The emulator's fresh unit: area 3 (France), database 100315, firmware 1.5.
inline constexpr int kIdentifyTimeoutMs = 8000;

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QGroupBox>

#include "DeviceSheet.h"
#include "DeviceTestSupport.h"
#include "platform/Profile.h"
#include "widgets/CWebBrowser2.h"

using TestSupport::WaitUntil;

namespace {

// An unplugged unit is noticed at the next poll; room for a slow tick on a loaded machine.
constexpr int kUnplugNoticeCeilingMs = 1500;
// Longer than the wait before the query plus the query itself.
constexpr int kQuerySettleMs = 2500;

}  // namespace

TEST(MainPage, PluggedUnitIsIdentifiedAndItsPagesAppear) {
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start(PluggedUnit(UnitVersions())));
  QElapsedTimer clock;
  clock.start();
  DeviceSheet s;
  CMainTab& main = s.Main();
  EXPECT_EQ(main.m_staticUSBValue->text(), main.m_strNotConnected);

  ASSERT_TRUE(WaitUntil([&] { return main.m_bConnectionShown; }, kIdentifyTimeoutMs));
  EXPECT_EQ(main.m_staticUSBValue->text(), "Connected");
  EXPECT_TRUE(s.NoDevicePages());  // nothing before the unit has answered
  ASSERT_TRUE(WaitUntil([&] { return s.DevicePagesShown(); }, kIdentifyTimeoutMs)) << unit.DaemonLog().constData();
  const qint64 identifiedAfter = clock.elapsed();
  RecordProperty("IdentifiedAfterMs", static_cast<int>(identifiedAfter));
  EXPECT_GE(identifiedAfter, CMainTab::kVersionQueryDelayMs);

  EXPECT_EQ(main.m_staticHWValue->text(), "v 7");
  EXPECT_EQ(main.m_staticFWValue->text(), "v 1.10");
  EXPECT_EQ(main.m_staticAreaValue->text(), "France");  // catalogue entry 1 = area 3
  EXPECT_EQ(main.m_staticDBValue->text(), "v 100315");
  EXPECT_EQ(main.m_staticVoiceValue->text(), "v 10203");
  EXPECT_EQ(main.m_byVersionReply[1], 2);
  EXPECT_EQ(main.m_byVersionReply[12], 0);

  const CDBUpdateTab& update = s.sheet->m_pageUpdate;
  EXPECT_EQ(update.m_nUnitDBVersion, 100315);
  EXPECT_EQ(update.m_nUnitDBArea, 3);
  EXPECT_EQ(update.m_nUnitVoiceVersion, 10203);
  EXPECT_EQ(update.m_nUnitVoiceLanguage, 1);
  EXPECT_FLOAT_EQ(update.m_fUnitFWVersion, 1.1f);
  EXPECT_EQ(update.m_strUnitDBArea, "France");

  // main, update, POI, option, then the recovery page moved behind them
  ASSERT_EQ(s.sheet->GetPageCount(), 5);
  EXPECT_EQ(s.sheet->GetPageIndex(&s.sheet->m_pageOption), 3);
  EXPECT_EQ(s.sheet->GetPageIndex(&s.sheet->m_pageReset), 4);
  EXPECT_TRUE(s.Messages().isEmpty());
}

TEST(MainPage, UnplugRemovesTheDevicePagesAtTheNextPoll) {
  IdentifiedSheet u;
  ASSERT_TRUE(u.Start());
  UnitEmulator& unit = u.unit;
  DeviceSheet& s = *u.s;
  CMainTab& main = s.Main();

  ASSERT_TRUE(unit.Client().Unplug());
  QElapsedTimer clock;
  clock.start();
  ASSERT_TRUE(WaitUntil([&] { return s.NoDevicePages(); }, kIdentifyTimeoutMs));
  RecordProperty("RemovedAfterMs", static_cast<int>(clock.elapsed()));
  EXPECT_LT(clock.elapsed(), kUnplugNoticeCeilingMs);

  EXPECT_TRUE(s.Shown(s.sheet->m_pageReset));
  EXPECT_EQ(s.sheet->GetPageCount(), 2);
  EXPECT_FALSE(s.sheet->m_bUnitConnected);
  EXPECT_FALSE(main.m_bConnectionShown);
  EXPECT_EQ(main.m_staticUSBValue->text(), "Not connected");
  for (QLabel* value : {main.m_staticHWValue, main.m_staticFWValue, main.m_staticAreaValue, main.m_staticDBValue,
                        main.m_staticVoiceValue})
    EXPECT_TRUE(value->text().isEmpty());

  // Plugged in again, the unit is asked again and its pages come back.
  ASSERT_TRUE(unit.Client().Plug());
  EXPECT_TRUE(WaitUntil([&] { return s.DevicePagesShown(); }, kIdentifyTimeoutMs));
}

TEST(MainPage, NegativeDatabaseNumberIsShownWithoutDevicePages) {
  QJsonObject versions = UnitVersions();
  versions["db1"] = -9;
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start(PluggedUnit(versions)));
  DeviceSheet s;
  CMainTab& main = s.Main();
  ASSERT_TRUE(WaitUntil([&] { return main.m_staticDBValue->text() == "v -10315"; }, kIdentifyTimeoutMs));
  Settle(CMainTab::kPollPeriodMs * 2);
  EXPECT_TRUE(s.NoDevicePages());
  EXPECT_EQ(main.m_staticHWValue->text(), "v 7");
  EXPECT_TRUE(s.sheet->m_bUnitConnected);
  EXPECT_EQ(s.sheet->m_pageUpdate.m_nUnitDBVersion, -10000 + 315);
}

TEST(MainPage, BusyFlagHoldsThePollUntilCleared) {
  IdentifiedSheet u;
  ASSERT_TRUE(u.Start());
  DeviceSheet& s = *u.s;
  CMainTab& main = s.Main();

  main.m_bBusy = true;
  ASSERT_TRUE(u.unit.Client().Unplug());
  Settle(CMainTab::kPollPeriodMs * 3);
  EXPECT_TRUE(s.DevicePagesShown());
  EXPECT_TRUE(s.sheet->m_bUnitConnected);

  // Becoming the active page clears the flag and restarts the poll at its own period.
  main.StopPollTimer();
  s.sheet->SetActivePage(&s.sheet->m_pageReset);
  s.sheet->SetActivePage(&main);
  EXPECT_FALSE(main.m_bBusy);
  EXPECT_TRUE(main.IsPollTimerActive());
  EXPECT_EQ(main.PollTimerPeriod(), CMainTab::kPollPeriodMs);
  EXPECT_TRUE(WaitUntil([&] { return s.NoDevicePages(); }, kUnplugNoticeCeilingMs));
}

TEST(MainPage, UnitLeavingDuringTheWaitIsNotAsked) {
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start(PluggedUnit(UnitVersions())));
  DeviceSheet s;
  CMainTab& main = s.Main();
  ASSERT_TRUE(WaitUntil([&] { return main.m_bConnectionShown; }, kIdentifyTimeoutMs));
  ASSERT_TRUE(unit.Client().Unplug());
  Settle(kQuerySettleMs);
  EXPECT_FALSE(main.m_bConnectionShown);
  EXPECT_TRUE(s.NoDevicePages());
  EXPECT_TRUE(s.Messages().isEmpty());  // no failed opening reported for a unit that left
  EXPECT_TRUE(ReceivedOn(unit, "PIPE00Main").isEmpty());
}

TEST(MainPage, MissingLibraryKeepsTheStateAndQueryReportsTheChannel) {
  DeviceSheet s;
  CMainTab& main = s.Main();
  LibraryNameScope scope("libV770-no-such-library.so");

  // Not connected stays not connected.
  Settle(CMainTab::kPollPeriodMs * 2);
  EXPECT_FALSE(s.sheet->m_bUnitConnected);
  EXPECT_EQ(main.m_staticUSBValue->text(), "Not connected");

  // Connected stays connected; the query cannot open its channels and says so.
  s.sheet->m_bUnitConnected = true;
  ASSERT_TRUE(WaitUntil([&] { return !s.Messages().isEmpty(); }, kIdentifyTimeoutMs));
  EXPECT_TRUE(s.sheet->m_bUnitConnected);
  EXPECT_TRUE(main.m_bConnectionShown);
  EXPECT_EQ(s.Messages().first().text, s.sheet->m_strErrorMsg[3]);
  EXPECT_TRUE(s.Messages().first().text.startsWith("The connection to the unit could not be opened"));
  EXPECT_TRUE(s.NoDevicePages());
}

TEST(MainPage, ReplyShowsTheAreaOrATextOfItsOwn) {
  DeviceSheet s;
  CMainTab& main = s.Main();
  const std::array<std::int8_t, 12> reply{20, 2, 3, 15, 1, 1, 6, 1, 2, 3, 0, 0};
  std::copy(reply.begin(), reply.end(), main.m_byVersionReply.begin());
  EXPECT_EQ(main.OnVersionReply(CMainTab::kReplyReady, 0), 0);
  EXPECT_EQ(main.m_staticAreaValue->text(), "Area 20");
  EXPECT_EQ(s.sheet->m_pageUpdate.m_strUnitDBArea, "Area 20");
  EXPECT_EQ(main.m_staticFWValue->text(), "v 1.6");
  EXPECT_TRUE(s.DevicePagesShown());

  // "No reply" changes nothing.
  main.m_byVersionReply[0] = 2;
  main.OnVersionReply(CMainTab::kNoReply, 0);
  EXPECT_EQ(main.m_staticAreaValue->text(), "Area 20");
}

TEST(MainPage, LanguageComboSwitchesTheSheetAndRestoresTypedText) {
  DeviceSheet s;
  CMainTab& main = s.Main();
  QComboBox* combo = main.m_comboLanguage;
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->currentIndex(), 0);
  EXPECT_EQ(main.m_groupLanguage->title(), "Language");
  EXPECT_EQ(main.m_strBannerURL, "http://www.v770.example/pc_soft_hardware.asp?lang=eu&model=V770");
  EXPECT_EQ(main.m_browserBanner->GetLocationURL(), QUrl(main.m_strBannerURL));

  // Typing never leaves text in the box.
  QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
  QApplication::sendEvent(combo->lineEdit(), &key);
  EXPECT_EQ(combo->currentText(), "English");
  EXPECT_EQ(combo->currentIndex(), 0);

  // Choosing French switches the sheet, remembers it and points the banner at it.
  combo->setCurrentIndex(1);
  emit combo->activated(1);
  EXPECT_EQ(s.sheet->m_nLanguageID, kLanguageFrench);
  EXPECT_EQ(main.m_nLanguageSel, 1);
  EXPECT_EQ(main.m_groupLanguage->title(), "Langue");
  EXPECT_EQ(s.sheet->TabLabel(0), "Accueil");
  EXPECT_EQ(main.m_staticUSBValue->text(), QString::fromUtf8("Non connecté"));
  EXPECT_EQ(Profile::GetProfileInt(Profile::kSection, Profile::kLanguageKey, 0), kLanguageFrench);
  EXPECT_EQ(main.m_browserBanner->GetLocationURL(), QUrl(CMainTab::BannerUrl(QString::fromUtf8("Français"))));
  EXPECT_EQ(CMainTab::BannerUrl("English"), "http://www.v770.example/pc_soft_hardware.asp?lang=English&model=V770");

  QApplication::sendEvent(combo->lineEdit(), &key);
  EXPECT_EQ(combo->currentText(), QString::fromUtf8("Français"));
}

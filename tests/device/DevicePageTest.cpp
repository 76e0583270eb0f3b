// The main and option pages against the emulated unit.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "device/SpeedUnitCommand.h"
#include "support/DeviceSheet.h"
#include "text/ExtraTexts.h"
#include "widgets/CWebBrowser2.h"

using TestSupport::Settle;
using TestSupport::WaitUntil;

namespace {

// An unplugged unit is noticed at the next poll; room for a slow tick on a loaded machine.
constexpr int kUnplugNoticeCeilingMs = 1500;

QStringList Values(CMainTab& main) {
  QStringList values;
  for (QLabel* value : {main.m_staticHWValue, main.m_staticFWValue, main.m_staticAreaValue, main.m_staticDBValue,
                        main.m_staticVoiceValue, main.m_staticUSBValue})
    values << value->text();
  return values;
}

// The command, its 100 ms pause and the report; room for a loaded machine.
constexpr int kCommandTimeoutMs = 5000;
constexpr const char* kUnitChannel = "PIPE00UNIT";

// A plugged, identified unit whose reply byte 11 (the speed unit) is given, with the option
// page open.
struct OptionPageOpen {
  UnitEmulator unit;
  std::unique_ptr<DeviceSheet> s;
  bool Start(int speedUnitByte) {
    if (!unit.Start() || !unit.Client().Set("voicelang", speedUnitByte)) return false;
    s = std::make_unique<DeviceSheet>();
    if (!WaitUntil([&] { return s->DevicePagesShown(); }, kIdentifyTimeoutMs)) return false;
    s->sheet->SetActivePage(&Option());
    return Option().HasWindow();
  }
  COptionTab& Option() { return s->sheet->m_pageOption; }
};

}  // namespace

TEST(MainPage, UnitIsIdentifiedAndItsPagesComeAndGoWithIt) {
  UnitEmulator unit;
  ASSERT_TRUE(unit.Start());
  TestSupport::Clock clock;
  DeviceSheet s;
  CMainTab& main = s.Main();
  CV700UpdaterDlg& sheet = *s.sheet;
  EXPECT_EQ(main.m_staticUSBValue->text(), "Not connected");
  ASSERT_TRUE(WaitUntil([&] { return main.m_bConnectionShown; }, kIdentifyTimeoutMs));
  EXPECT_EQ(main.m_staticUSBValue->text(), "Connected");
  EXPECT_TRUE(s.NoDevicePages());  // nothing before the unit has answered
  ASSERT_TRUE(WaitUntil([&] { return s.DevicePagesShown(); }, kIdentifyTimeoutMs)) << unit.DaemonLog().constData();
  EXPECT_GE(clock.elapsed(), CMainTab::kVersionQueryDelayMs);
  EXPECT_EQ(Values(main), (QStringList{"v 7", "v 1.5", "France", "v 100315", "v 10203", "Connected"}));
  const CDBUpdateTab& update = sheet.m_pageUpdate;
  EXPECT_EQ(QStringList({QString::number(update.m_nUnitDBVersion), QString::number(update.m_nUnitDBArea),
                         QString::number(update.m_nUnitVoiceVersion), QString::number(update.m_nUnitVoiceLanguage),
                         QString::number(update.m_fUnitFWVersion), update.m_strUnitDBArea}),
            (QStringList{"100315", "3", "10203", "0", "1.5", "France"}));

  // Unplugged: the values empty and the unit's pages go at the next poll.
  ASSERT_TRUE(unit.Client().Unplug());
  clock.start();
  ASSERT_TRUE(WaitUntil([&] { return s.NoDevicePages(); }, kIdentifyTimeoutMs));
  EXPECT_LT(clock.elapsed(), kUnplugNoticeCeilingMs);
  EXPECT_EQ(Values(main), (QStringList{"", "", "", "", "", "Not connected"}));

  // Plugged in again, the unit is asked again and its pages come back.
  ASSERT_TRUE(unit.Client().Plug());
  ASSERT_TRUE(WaitUntil([&] { return s.DevicePagesShown(); }, kIdentifyTimeoutMs));

  // While another page has set the busy flag, unplugging is not noticed...
  main.m_bBusy = true;
  ASSERT_TRUE(unit.Client().Unplug());
  Settle(CMainTab::kPollPeriodMs * 3);
  EXPECT_TRUE(s.DevicePagesShown());
  EXPECT_TRUE(sheet.m_bUnitConnected);
  // ...until the main page becomes active again: that clears the flag and restarts the poll.
  main.StopPollTimer();
  sheet.SetActivePage(&sheet.m_pageReset);
  sheet.SetActivePage(&main);
  EXPECT_FALSE(main.m_bBusy);
  EXPECT_EQ(main.IsPollTimerActive() ? main.PollTimerPeriod() : 0, CMainTab::kPollPeriodMs);
  EXPECT_TRUE(WaitUntil([&] { return s.NoDevicePages(); }, kUnplugNoticeCeilingMs));

  // Back, and gone again during the wait before the query: not asked, no failed opening told.
  ASSERT_TRUE(unit.Client().Set("db1", -9) && unit.Client().Plug());
  ASSERT_TRUE(WaitUntil([&] { return main.m_bConnectionShown; }, kIdentifyTimeoutMs));
  const qsizetype queries = ReceivedOn(unit, "PIPE00Main").size();
  ASSERT_TRUE(unit.Client().Unplug());
  Settle(CMainTab::kVersionQueryDelayMs + 1000);
  EXPECT_FALSE(main.m_bConnectionShown);
  EXPECT_EQ(ReceivedOn(unit, "PIPE00Main").size(), queries);
  // Back with a database number below zero: its values are shown, its pages are not added.
  ASSERT_TRUE(unit.Client().Plug());
  ASSERT_TRUE(WaitUntil([&] { return main.m_staticDBValue->text() == "v -10315"; }, kIdentifyTimeoutMs));
  Settle(CMainTab::kPollPeriodMs * 2);
  EXPECT_TRUE(s.NoDevicePages() && sheet.m_bUnitConnected);
  EXPECT_EQ(main.m_staticHWValue->text(), "v 7");
  EXPECT_EQ(update.m_nUnitDBVersion, -10000 + 315);
  // A report of no reply changes nothing.
  main.m_byVersionReply[1] = 2;
  main.OnVersionReply(CMainTab::kNoReply, 0);
  EXPECT_EQ(main.m_staticDBValue->text(), "v -10315");
  EXPECT_TRUE(s.Messages().isEmpty());
}

TEST(MainPage, LanguageComboSwitchesTheSheetAndAMissingLibraryKeepsTheState) {
  DeviceSheet s;
  CMainTab& main = s.Main();
  QComboBox* combo = main.m_comboLanguage;
  ASSERT_EQ(combo->count(), 2);
  EXPECT_EQ(combo->currentIndex(), 0);
  EXPECT_EQ(main.m_browserBanner->GetLocationURL(),
            QUrl("http://www.v770.example/pc_soft_hardware.asp?lang=eu&model=V770"));
  // Typing never leaves text in the box.
  QKeyEvent key(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
  QApplication::sendEvent(combo->lineEdit(), &key);
  EXPECT_EQ(combo->currentText(), "English");

  // Choosing French switches the sheet, remembers it and points the banner at it.
  combo->setCurrentIndex(1);
  emit combo->activated(1);
  EXPECT_EQ(s.sheet->m_nLanguageID, kLanguageFrench);
  EXPECT_EQ(main.m_groupLanguage->title(), "Langue");
  EXPECT_EQ(main.m_staticUSBValue->text(), QString::fromUtf8("Non connecté"));
  EXPECT_EQ(main.m_browserBanner->GetLocationURL(),
            QUrl(QString::fromUtf8("http://www.v770.example/pc_soft_hardware.asp?lang=Français&model=V770")));
  QApplication::sendEvent(combo->lineEdit(), &key);
  EXPECT_EQ(combo->currentText(), QString::fromUtf8("Français"));

  // Without the unit library, not connected stays not connected...
  LibraryNameScope scope("libV770-no-such-library.so");
  Settle(CMainTab::kPollPeriodMs * 2);
  EXPECT_FALSE(s.sheet->m_bUnitConnected);
  // ...and connected stays connected; the query cannot open its channels and says so.
  s.sheet->m_bUnitConnected = true;
  ASSERT_TRUE(WaitUntil([&] { return !s.Messages().isEmpty(); }, kIdentifyTimeoutMs));
  EXPECT_TRUE(s.sheet->m_bUnitConnected && main.m_bConnectionShown && s.NoDevicePages());
  EXPECT_EQ(s.Messages().first().text, s.sheet->m_strErrorMsg[3]);
  EXPECT_TRUE(s.Messages().first().text.startsWith(u"La connexion avec l'appareil n'a pas pu"_qs));
}

TEST(OptionPage, ApplyAsksForASpeedUnitThenSendsTheChosenOne) {
  OptionPageOpen u;
  ASSERT_TRUE(u.Start(5));  // a speed unit the combo does not hold
  COptionTab& option = u.Option();
  EXPECT_EQ(option.m_groupUnit->title(), "Speed unit");
  EXPECT_EQ(option.m_comboUnit->currentIndex(), -1);
  option.m_buttonApply->click();
  Settle(500);
  EXPECT_EQ(u.s->MessageTexts(), QStringList{ExtraText(ExtraTextId::SPEED_UNIT_NOT_CHOSEN)});
  EXPECT_TRUE(ReceivedOn(u.unit, kUnitChannel).isEmpty());
  option.m_comboUnit->setCurrentIndex(1);
  option.m_buttonApply->click();
  ASSERT_TRUE(WaitUntil([&] { return u.s->SawMessage(COptionTab::kUnitChangedMessage); }, kCommandTimeoutMs));
  EXPECT_EQ(u.s->Messages().size(), 2);
  EXPECT_EQ(ReceivedOn(u.unit, kUnitChannel), QList<QByteArray>{QByteArray("\x24\x50\x31\x3C\x01\x00", 6)});
  EXPECT_TRUE(option.m_comboUnit->isEnabled() && option.m_buttonApply->isEnabled());
  // The unit never tells its speed unit: this computer remembers the one it set, by unit.
  EXPECT_EQ(RememberedSpeedUnit(7), 1);
  EXPECT_EQ(RememberedSpeedUnit(8), -1);
  // Typed text is undone at once, back to the entry applied last.
  option.m_comboUnit->lineEdit()->setText("knots");
  emit option.m_comboUnit->lineEdit()->textEdited("knots");
  EXPECT_EQ(option.m_comboUnit->currentText(), option.m_comboUnit->itemText(1));
}

TEST(OptionPage, UnitGoneBeforeApplyIsReportedNotCelebrated) {
  OptionPageOpen u;
  ASSERT_TRUE(u.Start(1));
  COptionTab& option = u.Option();
  EXPECT_EQ(option.m_comboUnit->currentIndex(), 1);
  const QString channelError = u.s->sheet->m_strErrorMsg[11];
  ASSERT_FALSE(channelError.isEmpty());

  // The poll has not noticed yet (held by another page): the channel is refused.
  u.s->Main().m_bBusy = true;
  ASSERT_TRUE(u.unit.Client().Unplug());
  option.m_buttonApply->click();
  ASSERT_TRUE(WaitUntil([&] { return !u.s->Messages().isEmpty(); }, kCommandTimeoutMs));
  EXPECT_EQ(u.s->Messages().first().text, channelError);
  EXPECT_EQ(u.s->Messages().first().icon, UiSeams::MessageIcon::Information);
  // The poll has noticed: nothing is even tried.
  u.s->sheet->m_bUnitConnected = false;
  option.OnApply();
  ASSERT_TRUE(WaitUntil([&] { return u.s->Messages().size() == 2; }, kCommandTimeoutMs));
  EXPECT_EQ(u.s->Messages().last().text, channelError);
  EXPECT_TRUE(ReceivedOn(u.unit, kUnitChannel).isEmpty());

  // The main page disables the page's controls as it removes the page.
  u.s->Main().m_bBusy = false;
  ASSERT_TRUE(WaitUntil([&] { return u.s->NoDevicePages(); }, kIdentifyTimeoutMs));
  EXPECT_FALSE(option.m_comboUnit->isEnabled() || option.m_buttonApply->isEnabled());
}

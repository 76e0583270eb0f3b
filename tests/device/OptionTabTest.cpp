#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "DeviceSheet.h"
#include "DeviceTestSupport.h"

using TestSupport::WaitUntil;

namespace {

// The command, its 100 ms pause and the report; room for a loaded machine.
constexpr int kCommandTimeoutMs = 5000;
constexpr const char* kUnitChannel = "PIPE00UNIT";

// A plugged, identified unit with the option page open.
struct OptionPageOpen : IdentifiedSheet {
  bool Start(int speedUnitByte) {
    if (!IdentifiedSheet::Start(UnitVersions(speedUnitByte))) return false;
    s->sheet->SetActivePage(&Option());
    return Option().HasWindow();
  }
  COptionTab& Option() { return s->sheet->m_pageOption; }
};

}  // namespace

TEST(OptionPage, ApplySendsTheChosenSpeedUnit) {
  OptionPageOpen u;
  ASSERT_TRUE(u.Start(0));
  COptionTab& option = u.Option();
  EXPECT_EQ(option.m_groupUnit->title(), "Speed unit");
  ASSERT_EQ(option.m_comboUnit->count(), 2);
  EXPECT_EQ(option.m_comboUnit->currentIndex(), 0);  // reply byte 11
  EXPECT_TRUE(option.m_buttonApply->isEnabled());

  option.m_comboUnit->setCurrentIndex(1);
  option.m_buttonApply->click();
  ASSERT_TRUE(WaitUntil([&] { return u.s->SawMessage(COptionTab::kUnitChangedMessage); }, kCommandTimeoutMs));
  EXPECT_EQ(u.s->Messages().size(), 1);
  EXPECT_EQ(option.m_nUnitSel, 1);
  const QList<QByteArray> received = ReceivedOn(u.unit, kUnitChannel);
  ASSERT_EQ(received.size(), 1);
  EXPECT_EQ(received.first(), QByteArray("\x24\x50\x31\x3C\x01\x00", 6));
  EXPECT_EQ(u.unit.Status()["speedUnit"].toInt(), 1);
  EXPECT_TRUE(option.m_comboUnit->isEnabled());
  EXPECT_TRUE(option.m_buttonApply->isEnabled());
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
  EXPECT_FALSE(u.s->SawMessage(COptionTab::kUnitChangedMessage));
  EXPECT_TRUE(ReceivedOn(u.unit, kUnitChannel).isEmpty());
}

TEST(OptionPage, NoSelectionSendsNothing) {
  OptionPageOpen u;
  ASSERT_TRUE(u.Start(5));  // a speed unit the combo does not hold
  COptionTab& option = u.Option();
  EXPECT_EQ(option.m_comboUnit->currentIndex(), -1);
  option.m_buttonApply->click();
  Settle(500);
  EXPECT_TRUE(u.s->Messages().isEmpty());
  EXPECT_TRUE(ReceivedOn(u.unit, kUnitChannel).isEmpty());
  EXPECT_EQ(u.unit.Status()["speedUnit"].toInt(), 0);
}

TEST(OptionPage, ControlsFollowTheUnitAndTypedTextIsUndone) {
  OptionPageOpen u;
  ASSERT_TRUE(u.Start(1));
  COptionTab& option = u.Option();

  option.m_comboUnit->lineEdit()->setText("knots");
  emit option.m_comboUnit->lineEdit()->textEdited("knots");
  EXPECT_EQ(option.m_comboUnit->currentText(), "mph");

  // Unplugged: the main page disables the page's controls and removes the page.
  ASSERT_TRUE(u.unit.Client().Unplug());
  ASSERT_TRUE(WaitUntil([&] { return u.s->NoDevicePages(); }, kIdentifyTimeoutMs));
  EXPECT_FALSE(option.m_comboUnit->isEnabled());
  EXPECT_FALSE(option.m_buttonApply->isEnabled());
}

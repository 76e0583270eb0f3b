#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "DeviceSheet.h"

using TestSupport::WaitUntil;

namespace {

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

TEST(OptionPage, ApplySendsTheChosenSpeedUnit) {
  OptionPageOpen u;
  ASSERT_TRUE(u.Start(0));
  COptionTab& option = u.Option();
  EXPECT_EQ(option.m_groupUnit->title(), "Speed unit");
  EXPECT_EQ(option.m_comboUnit->currentIndex(), 0);  // reply byte 11
  option.m_comboUnit->setCurrentIndex(1);
  option.m_buttonApply->click();
  ASSERT_TRUE(WaitUntil([&] { return u.s->SawMessage(COptionTab::kUnitChangedMessage); }, kCommandTimeoutMs));
  EXPECT_EQ(u.s->Messages().size(), 1);
  EXPECT_EQ(ReceivedOn(u.unit, kUnitChannel), QList<QByteArray>{QByteArray("\x24\x50\x31\x3C\x01\x00", 6)});
  EXPECT_TRUE(option.m_comboUnit->isEnabled() && option.m_buttonApply->isEnabled());
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

TEST(OptionPage, NoSelectionSendsNothing) {
  OptionPageOpen u;
  ASSERT_TRUE(u.Start(5));  // a speed unit the combo does not hold
  EXPECT_EQ(u.Option().m_comboUnit->currentIndex(), -1);
  u.Option().m_buttonApply->click();
  TestSupport::Settle(500);
  EXPECT_TRUE(u.s->Messages().isEmpty());
  EXPECT_TRUE(ReceivedOn(u.unit, kUnitChannel).isEmpty());
}

// At the window's minimum size, in both languages, every label and button shows its text whole
// (status lines their longest), the bars have their height, and nothing lies outside its page.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRadioButton>

#include "support/DeviceSheet.h"
#include "text/ExtraTexts.h"
#include "widgets/TextProgressBar.h"

namespace {

// What is wrong with `widget` where it stands on `page`; empty when it is shown whole.
QString Cut(const QWidget* widget, const QWidget* page) {
  for (const QWidget* w = widget; w != page; w = w->parentWidget())
    if (!w->parentWidget()->rect().contains(w->geometry())) return QStringLiteral("outside its parent");
  const auto* label = qobject_cast<const QLabel*>(widget);
  const bool wrapped = label && label->wordWrap();
  const QSize need = wrapped ? QSize(label->minimumSizeHint().width(), label->heightForWidth(label->width()))
                     : qobject_cast<const TextProgressBar*>(widget) ? widget->minimumSizeHint()
                                                                     : widget->sizeHint();
  if (need.width() <= widget->width() && need.height() <= widget->height()) return {};
  return QStringLiteral("needs %1x%2, has %3x%4").arg(need.width()).arg(need.height()).arg(widget->width())
      .arg(widget->height());
}

// The longest texts the values and status lines of the pages can be given.
QList<std::pair<QLabel*, QStringList>> LongTexts(CV700UpdaterDlg& sheet) {
  const auto dbfw = [&](int number) { return sheet.Text(UiIndex(DBFW_TAB_001, number)); };
  const auto mainText = [&](int number) { return sheet.Text(UiIndex(MAIN_TAB_001, number)); };
  const QString sizes = QStringLiteral(" 1023.99 KB / 1023.99 KB");
  const QString checking = ExtraText(ExtraTextId::UPDATE_CHECKING_UNIT);
  CMainTab& main = sheet.m_pageMain;
  CDBUpdateTab& update = sheet.m_pageUpdate;
  return {{main.m_staticAreaValue, {u"UnitedKingdom"_qs}},
          {main.m_staticDBValue, {u"v 1312727"_qs}},
          {main.m_staticUSBValue, {mainText(11), mainText(12)}},
          {update.m_labelDownloadPhase, {dbfw(12), dbfw(13), dbfw(14)}},
          {update.m_labelDownloadSize, {sizes}},
          {update.m_labelSendPhase, {dbfw(16), dbfw(17), dbfw(18), dbfw(19), checking}},
          {update.m_labelError, {dbfw(6)}},
          {update.m_labelDBState, {dbfw(2), dbfw(5)}},
          {sheet.m_pageReset.m_staticStatus, {dbfw(14) + sizes, dbfw(6), checking}}};
}

TEST(Layout, EveryPageShowsItsTextsWholeAtTheMinimumSizeInBothLanguages) {
  DeviceSheet s;
  CV700UpdaterDlg& sheet = *s.sheet;
  sheet.ShowDevicePages(true);
  sheet.show();
  CReset& reset = sheet.m_pageReset;
  // Each page as it shows, the recovery page in both of its modes.
  const std::pair<CPropertyPage*, QRadioButton*> views[] = {
      {&sheet.m_pageMain, nullptr}, {&sheet.m_pageUpdate, nullptr},  {&sheet.m_pagePOI, nullptr},
      {&sheet.m_pageOption, nullptr}, {&reset, reset.m_radioManual}, {&reset, reset.m_radioAuto}};
  for (int language : {kLanguageEnglish, kLanguageFrench}) {
    sheet.SetLanguage(language);
    for (const auto& [page, mode] : views) {
      SCOPED_TRACE(page->Title().toStdString());
      sheet.SetActivePage(page);
      if (mode) mode->click();
      sheet.layout()->activate();
      sheet.resize(sheet.minimumSize());
      TestSupport::Settle(50);
      const auto check = [&](QWidget* widget) {
        EXPECT_EQ(Cut(widget, page), QString()) << widget->property("text").toString().toStdString();
      };
      for (const auto& [label, texts] : LongTexts(sheet)) {
        for (const QString& text : texts) {
          if (!page->isAncestorOf(label)) continue;
          label->setText(text);
          label->show();
          QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
          check(label);
        }
      }
      for (QWidget* widget : page->findChildren<QWidget*>()) {
        const bool showsText = qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget) ||
                               qobject_cast<TextProgressBar*>(widget);
        if (showsText && page->isAncestorOf(widget) && widget->isVisibleTo(page)) check(widget);
      }
    }
  }
}

}  // namespace

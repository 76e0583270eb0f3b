// Nothing is cut: at the window's minimum size, in English and in French, every label shows
// its text whole (the longest each can be given), the progress bars have their height, and
// nothing lies outside its page.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRadioButton>

#include "support/DeviceSheet.h"
#include "text/ExtraTexts.h"
#include "widgets/TextProgressBar.h"

namespace {

// A size text as long as downloads give them.
const QString kSizes = QStringLiteral(" 1023.99 KB / 1023.99 KB");

// What is wrong with `widget` where it stands on `page`; empty when it is shown whole.
QString Cut(const QWidget* widget, const QWidget* page) {
  const QRect onPage(widget->mapTo(page, QPoint(0, 0)), widget->size());
  if (!page->rect().contains(onPage)) return QStringLiteral("outside its page");
  for (const QWidget* w = widget; w != page; w = w->parentWidget())
    if (!w->parentWidget()->rect().contains(w->geometry())) return QStringLiteral("outside its parent");
  const auto* label = qobject_cast<const QLabel*>(widget);
  const QSize need = label && label->wordWrap()
                         ? QSize(label->minimumSizeHint().width(), label->heightForWidth(label->width()))
                         : qobject_cast<const TextProgressBar*>(widget) ? widget->minimumSizeHint()
                                                                         : widget->sizeHint();
  if (need.width() > widget->width() || need.height() > widget->height())
    return QStringLiteral("needs %1x%2, has %3x%4")
        .arg(need.width()).arg(need.height()).arg(widget->width()).arg(widget->height());
  return {};
}

class LayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    s = std::make_unique<DeviceSheet>();
    sheet().ShowDevicePages(true);
    sheet().show();
  }
  CV700UpdaterDlg& sheet() { return *s->sheet; }

  // Every text `label` may show on this page, beyond the one it has now.
  QList<std::pair<QLabel*, QStringList>> Texts(CPropertyPage* page) {
    const auto ui = [&](int index) { return sheet().Text(index); };
    const auto dbfw = [&](int number) { return ui(UiIndex(DBFW_TAB_001, number)); };
    CMainTab& main = sheet().m_pageMain;
    CDBUpdateTab& update = sheet().m_pageUpdate;
    CReset& reset = sheet().m_pageReset;
    if (page == &main)
      return {{main.m_staticHWValue, {u"v 127"_qs}}, {main.m_staticFWValue, {u"v 127.127"_qs}},
              {main.m_staticAreaValue, {u"UnitedKingdom"_qs}}, {main.m_staticDBValue, {u"v 1312727"_qs}},
              {main.m_staticVoiceValue, {u"v 1279999"_qs}},
              {main.m_staticUSBValue, {ui(UiIndex(MAIN_TAB_001, 11)), ui(UiIndex(MAIN_TAB_001, 12))}}};
    if (page == &update)
      return {{update.m_labelDownloadPhase, {dbfw(12), dbfw(13), dbfw(14)}},
              {update.m_labelDownloadSize, {kSizes}},
              {update.m_labelSendPhase, {dbfw(16), dbfw(17), dbfw(18), dbfw(19), ExtraText(ExtraTextId::UPDATE_CHECKING_UNIT)}},
              {update.m_labelError, {dbfw(6)}},
              {update.m_labelDBState, {dbfw(2), dbfw(5)}},
              {update.m_labelVoiceState, {dbfw(2), dbfw(5)}},
              {update.m_labelFWState, {dbfw(2), dbfw(5)}}};
    if (page == &reset)
      return {{reset.m_staticStatus,
               {dbfw(14) + kSizes, dbfw(6), ExtraText(ExtraTextId::UPDATE_CHECKING_UNIT)}}};
    return {};
  }

  std::unique_ptr<DeviceSheet> s;
};

TEST_F(LayoutTest, EveryPageShowsItsTextsWholeAtTheMinimumSizeInBothLanguages) {
  CReset& reset = sheet().m_pageReset;
  // Each page as it shows, the recovery page in both of its modes.
  const std::pair<CPropertyPage*, QRadioButton*> views[] = {
      {&sheet().m_pageMain, nullptr}, {&sheet().m_pageUpdate, nullptr}, {&sheet().m_pagePOI, nullptr},
      {&sheet().m_pageOption, nullptr}, {&reset, reset.m_radioManual}, {&reset, reset.m_radioAuto}};
  for (int language : {kLanguageEnglish, kLanguageFrench}) {
    sheet().SetLanguage(language);
    for (const auto& [page, mode] : views) {
      SCOPED_TRACE(page->Title().toStdString());
      sheet().SetActivePage(page);
      if (mode) mode->click();
      sheet().layout()->activate();
      sheet().resize(sheet().minimumSize());
      TestSupport::Settle(50);
      const auto check = [&](QWidget* widget) {
        const QString cut = Cut(widget, page);
        EXPECT_TRUE(cut.isEmpty()) << widget->metaObject()->className() << " \""
                                   << widget->property("text").toString().toStdString() << "\": " << cut.toStdString();
      };
      for (const auto& [label, texts] : Texts(page)) {
        for (const QString& text : texts) {
          label->setText(text);
          label->show();
          QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
          check(label);
        }
      }
      for (QWidget* widget : page->findChildren<QWidget*>())
        if (page->isAncestorOf(widget) && widget->isVisibleTo(page) &&
            (qobject_cast<QLabel*>(widget) || qobject_cast<QAbstractButton*>(widget) || qobject_cast<TextProgressBar*>(widget)))
          check(widget);
    }
  }
}

}  // namespace

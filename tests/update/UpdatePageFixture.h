#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <cstdint>
#include <memory>

#include "app/CV700UpdaterDlg.h"
#include "update/CDBUpdateTab.h"

// A sheet holding the shipped texts and catalogue, a unit that has identified itself, and
// the update page, in a working folder of its own. Message boxes are recorded, never shown.
class UpdatePageFixture : public ::testing::Test {
 protected:
  // The unit of the tests: area 2 (Europe), database 100411, firmware 1.5, voice 10203 in
  // language 0 (English). The shipped catalogue has database 100412 and firmware 1.6.
  static constexpr std::array<std::int8_t, 12> kUnitReply = {2, 2, 4, 11, 7, 1, 5, 1, 2, 3, 0, 0};

  void SetUp() override;
  void TearDown() override;

  // The version reply as the main page stores and hands it on.
  void SetUnitReply(const std::array<std::int8_t, 12>& reply);
  // Creates the page's window as the sheet does when the page is shown.
  void OpenPage();

  CDBUpdateTab& Page() { return m_sheet->m_pageUpdate; }
  CV700UpdaterDlg& Sheet() { return *m_sheet; }
  QString Text(int index) const { return UiText(m_sheet->m_arrText, m_sheet->m_nLanguageID, index); }
  QString Error(int number) const { return m_sheet->m_strErrorMsg[static_cast<size_t>(number - 1)]; }
  QString WorkFile(const QString& name) const { return m_work.filePath(name); }

  QTemporaryDir m_work;
  QString m_previousDir;
  std::unique_ptr<CV700UpdaterDlg> m_sheet;
  QStringList m_messages;
};

// A ZIP archive of (name, bytes) items, as the manual pack is.
bool MakeZip(const QString& path, const QList<std::pair<QString, QByteArray>>& items);

#include <gtest/gtest.h>

#include <QDir>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "text/ExtraTexts.h"
#include "app/CV700UpdaterDlg.h"
#include "platform/UiSeams.h"
#include "poi/CPOITab.h"
#include "poi/CSortableListCtrl.h"
#include "poi/PoiFile.h"
#include "poi/PoiMapLink.h"
#include "poi/PoiRecord.h"
#include "support/TestSupport.h"
#include "support/UnitEmulator.h"

namespace {

constexpr int kTaskTimeoutMs = 30000;
constexpr int kSaveLockTickMs = 20;
constexpr int kPacingMs = 2;

PoiTexts Poi(int i) {
  const double latitude = (i % 2 ? -1 : 1) * (0.5 + i * 0.87654);
  const double longitude = (i % 3 ? 1 : -1) * (1.25 + i * 1.76543);
  return {QString::asprintf("%04d/%02d/%02d", 2008 + i % 16, 1 + i % 12, 1 + i % 28),
          QString::asprintf("%02d:%02d", i % 24, (i * 7) % 60), QString::asprintf("%.5f", latitude),
          QString::asprintf("%.5f", longitude), QString::number((i * 37) % 512)};
}

QList<PoiTexts> Pois(int count, int first = 0) {
  QList<PoiTexts> pois;
  for (int i = 0; i < count; ++i) pois.append(Poi(first + i));
  return pois;
}

QByteArray FileOf(const QList<PoiTexts>& pois) {
  QByteArray bytes;
  for (const PoiTexts& poi : pois) bytes += PoiFile::FormatLine(poi);
  return bytes;
}

QString Hex(const PoiTexts& poi) {
  const PoiRecord record = EncodePoiRecord(poi);
  return QString::fromLatin1(
      QByteArray(reinterpret_cast<const char*>(record.bytes.data()), PoiConstants::kRecordSize).toHex());
}

// The emulator's state with these POIs in its first slots.
QJsonObject UnitHolding(const QList<PoiTexts>& pois, int capacity = 100) {
  QJsonArray unitSlots;
  for (const PoiTexts& poi : pois) unitSlots.append(Hex(poi));
  return {{"plugged", true}, {"poi", QJsonObject{{"capacity", capacity}, {"slots", unitSlots}}}};
}

class PoiPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_work.isValid());
    m_savedFolder = QDir::currentPath();
    QDir::setCurrent(m_work.path());
    UiSeams::SetMessageHandler([this](const UiSeams::MessageRequest& request) {
      m_messages.append(request.text);
      if (m_sheet) m_readEnabledAtMessage = Page().m_btnRead->isEnabled();
      return QMessageBox::Ok;
    });
    UiSeams::SetFileDialogHandler([this](const UiSeams::FileDialogRequest&) { return m_importPath; });
    PoiMapLink::SetOpener([this](const QUrl& url) { m_opened.append(url); });
  }

  void TearDown() override {
    if (m_sheet) {
      WaitIdle();
      m_sheet.reset();
    }
    UiSeams::SetMessageHandler({});
    UiSeams::SetFileDialogHandler({});
    PoiMapLink::SetOpener({});
    QDir::setCurrent(m_savedFolder);
  }

  // The sheet with a text table whose entry n reads "Tn", and its POI page's window.
  void OpenPage(bool unitConnected = true) {
    m_sheet = std::make_unique<CV700UpdaterDlg>();
    QStringList texts;
    for (int i = 0; i < kUiTextCount; ++i) texts.append(QStringLiteral("T%1").arg(i));
    m_sheet->m_arrText[0] = texts;
    m_sheet->m_bUnitConnected = unitConnected;
    Page().SetTimings(kSaveLockTickMs, kPacingMs);
    Page().CreatePageWindow();
  }

  CPOITab& Page() { return m_sheet->m_pagePOI; }
  CSortableListCtrl& List() { return *Page().m_listPOI; }

  // Waits for the running task; then keeps the main page's poll from probing the unit
  // between the steps of a test.
  bool WaitIdle() {
    const bool idle = TestSupport::WaitUntil([this] { return !Page().IsTaskRunning(); }, kTaskTimeoutMs);
    m_sheet->m_pageMain.StopPollTimer();
    return idle;
  }

  void Import(const QList<PoiTexts>& pois) {
    m_importPath = m_work.filePath(QStringLiteral("import.txt"));
    ASSERT_TRUE(TestSupport::WriteFile(m_importPath, FileOf(pois)));
    Page().ImportPoiFile();
  }

  void Read() {
    Page().OnRead();
    ASSERT_TRUE(WaitIdle());
  }

  void Save() {
    Page().OnSave();
    ASSERT_TRUE(WaitIdle());
  }

  QList<PoiTexts> Rows() {
    QList<PoiTexts> rows;
    for (int row = 0; row < List().GetItemCount(); ++row)
      rows.append({List().GetItemText(row, 1), List().GetItemText(row, 2), List().GetItemText(row, 3),
                   List().GetItemText(row, 4), List().GetItemText(row, 5)});
    return rows;
  }

  QJsonArray Slots() { return m_unit.Status()["poi"].toObject()["slots"].toArray(); }
  int StoredCount() { return m_unit.Status()["poi"].toObject()["count"].toInt(); }

  // What the unit received on the POI command pipe, as hex.
  QStringList Received() {
    QStringList received;
    for (const QJsonValue& entry : m_unit.Status()["log"].toObject()["PIPE00POI"].toArray())
      if (entry["event"].toString() == u"received"_qs) received.append(entry["hex"].toString());
    return received;
  }

  // Files of the working folder matching the pattern.
  QStringList Files(const char* pattern) {
    return QDir(m_work.path()).entryList({QString::fromLatin1(pattern)}, QDir::Files);
  }

  QTemporaryDir m_work;
  QString m_savedFolder;
  UnitEmulator m_unit;
  std::unique_ptr<CV700UpdaterDlg> m_sheet;
  QStringList m_messages;
  bool m_readEnabledAtMessage = false;
  QString m_importPath;
  QList<QUrl> m_opened;
};

const QString kEraseHex = QStringLiteral("2450303c");      // "$P0<"
const QString kWriteOneHex = QStringLiteral("2450383c");   // "$P8<"

}  // namespace

TEST_F(PoiPageTest, ReadShowsThePoisWritesTheExportAndLocksSave) {
  const QList<PoiTexts> pois = Pois(3);
  ASSERT_TRUE(m_unit.Start(UnitHolding(pois)));
  OpenPage();
  Read();
  EXPECT_EQ(Rows(), pois);
  EXPECT_EQ(List().GetItemText(2, 0), u"3"_qs);
  EXPECT_EQ(Page().m_staticCount->text(), u"3"_qs);
  EXPECT_EQ(Page().m_nPOICount, 3);
  EXPECT_FALSE(m_sheet->m_pageMain.m_bBusy);
  EXPECT_TRUE(m_messages.isEmpty());

  const QStringList exports = Files("POI_??????_??????.txt");
  ASSERT_EQ(exports.size(), 1);
  EXPECT_EQ(TestSupport::ReadFile(m_work.filePath(exports[0])), FileOf(pois));

  EXPECT_TRUE(Page().IsSaveLocked());
  EXPECT_FALSE(Page().m_btnSave->isEnabled());
  EXPECT_TRUE(Page().m_btnRead->isEnabled());
  ASSERT_TRUE(TestSupport::WaitUntil([this] { return !Page().IsSaveLocked(); }, 16 * kSaveLockTickMs + 5000));
  EXPECT_TRUE(Page().m_btnSave->isEnabled());
}

TEST_F(PoiPageTest, UnitWithoutPoisGivesAnEmptyListAnEmptyExportAndTheLock) {
  ASSERT_TRUE(m_unit.Start(UnitHolding({})));
  OpenPage();
  Read();
  EXPECT_EQ(List().GetItemCount(), 0);
  EXPECT_EQ(Page().m_staticCount->text(), u"0"_qs);
  const QStringList exports = Files("POI_??????_??????.txt");
  ASSERT_EQ(exports.size(), 1);
  EXPECT_EQ(QFileInfo(m_work.filePath(exports[0])).size(), 0);
  EXPECT_TRUE(Page().IsSaveLocked());
  EXPECT_FALSE(Page().m_btnSave->isEnabled());
  EXPECT_TRUE(Received().contains(u"2450433e"_qs));  // "$PC>" was asked
}

TEST_F(PoiPageTest, UnconnectedUnitIsNotAsked) {
  ASSERT_TRUE(m_unit.Start(UnitHolding(Pois(2))));
  OpenPage(false);
  Read();
  EXPECT_EQ(List().GetItemCount(), 0);
  EXPECT_EQ(Files("POI_??????_??????.txt").size(), 1);
  EXPECT_TRUE(Received().isEmpty());
}

TEST_F(PoiPageTest, HundredImportedRowsSavedAndReadBack) {
  ASSERT_TRUE(m_unit.Start(UnitHolding({})));
  OpenPage();
  const QList<PoiTexts> pois = Pois(100);
  Import(pois);
  ASSERT_EQ(List().GetItemCount(), 100);
  EXPECT_EQ(Page().m_staticCount->text(), u"100"_qs);
  EXPECT_EQ(List().GetItemText(99, 0), u"100"_qs);

  Save();
  EXPECT_TRUE(m_messages.isEmpty()) << m_messages.join(u'\n').toStdString();
  const QJsonArray unitSlots = Slots();
  ASSERT_EQ(unitSlots.size(), 100);
  for (int slot = 0; slot < 100; ++slot) EXPECT_EQ(unitSlots[slot].toString(), Hex(pois[slot])) << slot;
  const QStringList backups = Files("POI_SAVE_*.txt");
  ASSERT_EQ(backups.size(), 1);
  EXPECT_EQ(TestSupport::ReadFile(m_work.filePath(backups[0])), FileOf(pois));
  EXPECT_FALSE(m_sheet->m_pageMain.m_bBusy);
  EXPECT_TRUE(Page().m_btnSave->isEnabled());

  Read();
  EXPECT_EQ(Rows(), pois);
}

TEST_F(PoiPageTest, RowsAreStoredInDisplayOrder) {
  ASSERT_TRUE(m_unit.Start(UnitHolding({})));
  OpenPage();
  const QList<PoiTexts> pois = Pois(3);  // latitudes 0.5, -1.37654, 2.25308
  Import(pois);
  List().SortByColumn(3, false);
  Save();
  const QJsonArray unitSlots = Slots();
  EXPECT_EQ(unitSlots[0].toString(), Hex(pois[2]));
  EXPECT_EQ(unitSlots[1].toString(), Hex(pois[0]));
  EXPECT_EQ(unitSlots[2].toString(), Hex(pois[1]));
}

TEST_F(PoiPageTest, DeleteAllThenSaveSendsOnlyTheEraseAndASecondSaveWritesTheRows) {
  ASSERT_TRUE(m_unit.Start(UnitHolding(Pois(3))));
  OpenPage();
  Page().OnDeleteAll();
  EXPECT_TRUE(Page().m_bErasePending);
  EXPECT_EQ(Page().m_staticCount->text(), u"0"_qs);
  const QList<PoiTexts> pois = Pois(2, 10);
  Import(pois);

  Save();
  EXPECT_EQ(Received(), QStringList{kEraseHex});
  EXPECT_EQ(StoredCount(), 0);
  EXPECT_FALSE(Page().m_bErasePending);
  EXPECT_EQ(Rows(), pois);  // the list is left as it was

  Save();
  EXPECT_EQ(StoredCount(), 2);
  EXPECT_EQ(Slots()[1].toString(), Hex(pois[1]));
  EXPECT_TRUE(Received().last().startsWith(kWriteOneHex));
}

TEST_F(PoiPageTest, DeleteAllWithAnEmptyListErasesTheUnit) {
  ASSERT_TRUE(m_unit.Start(UnitHolding(Pois(3))));
  OpenPage();
  Page().OnDeleteAll();
  Save();
  EXPECT_EQ(StoredCount(), 0);
  EXPECT_EQ(List().GetItemCount(), 0);
  EXPECT_FALSE(Page().m_bErasePending);
}

TEST_F(PoiPageTest, UnplugDuringASaveGivesThePageBack) {
  ASSERT_TRUE(m_unit.Start(UnitHolding({})));
  OpenPage();
  Page().SetTimings(kSaveLockTickMs, 40);  // about 8 s for 100 records: time to pull the plug
  Import(Pois(100));
  Page().OnSave();
  ASSERT_TRUE(m_unit.WaitForStatus([](const QJsonObject& s) { return s["poi"].toObject()["count"].toInt() >= 3; },
                                   kTaskTimeoutMs));
  ASSERT_TRUE(m_unit.Client().Unplug());
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(m_messages, QStringList{ExtraText(ExtraTextId::UNIT_NO_ANSWER)});
  EXPECT_TRUE(m_readEnabledAtMessage);
  EXPECT_TRUE(Page().m_btnSave->isEnabled());
  EXPECT_FALSE(m_sheet->m_pageMain.m_bBusy);
  EXPECT_LT(StoredCount(), 100);
  // The backup holds the whole list for another try.
  ASSERT_EQ(Files("POI_SAVE_*.txt").size(), 1);
  EXPECT_EQ(TestSupport::ReadFile(m_work.filePath(Files("POI_SAVE_*.txt")[0])), FileOf(Pois(100)));
}

TEST_F(PoiPageTest, UnitGoneBeforeAReadGivesThePageBack) {
  ASSERT_TRUE(m_unit.Start(UnitHolding(Pois(3))));
  OpenPage();
  ASSERT_TRUE(m_unit.Client().Unplug());  // the pipes the page holds are closed under it
  Read();
  ASSERT_EQ(m_messages, QStringList{ExtraText(ExtraTextId::UNIT_NO_ANSWER)});
  EXPECT_TRUE(m_readEnabledAtMessage);
  EXPECT_FALSE(m_sheet->m_pageMain.m_bBusy);
  EXPECT_EQ(List().GetItemCount(), 0);
  EXPECT_FALSE(Page().IsSaveLocked());
  EXPECT_TRUE(Files("POI_??????_??????.txt").isEmpty());
}

TEST_F(PoiPageTest, RowTheRecordCannotKeepStopsTheSave) {
  ASSERT_TRUE(m_unit.Start(UnitHolding(Pois(1))));
  OpenPage();
  QList<PoiTexts> pois = Pois(3);
  pois[1].date = u"2024/01/01"_qs;
  Import(pois);
  Page().OnSave();
  EXPECT_EQ(m_messages, QStringList{u"POI Data Format Conversion is failed.Check your change."_qs});
  EXPECT_FALSE(Page().IsTaskRunning());
  EXPECT_TRUE(Received().isEmpty());
  EXPECT_TRUE(Files("POI_SAVE_*.txt").isEmpty());
  EXPECT_FALSE(m_sheet->m_pageMain.m_bBusy);
  EXPECT_TRUE(List().IsItemSelected(1));
  EXPECT_EQ(Rows(), pois);  // nothing the user sees changed
}

TEST_F(PoiPageTest, MoreRowsThanTheUnitKeepsAreRefused) {
  ASSERT_TRUE(m_unit.Start(UnitHolding({})));
  OpenPage();
  Import(Pois(101));
  EXPECT_EQ(List().GetItemCount(), 101);  // a long file is imported whole
  Page().OnSave();
  ASSERT_EQ(m_messages.size(), 1);
  EXPECT_TRUE(m_messages[0].contains(u"at most 100"_qs));
  EXPECT_FALSE(Page().IsTaskRunning());
  EXPECT_TRUE(Received().isEmpty());
  EXPECT_FALSE(m_sheet->m_pageMain.m_bBusy);
}

TEST_F(PoiPageTest, UnitAnnouncingMoreThanTheTableHoldsShowsTheFirstHundred) {
  ASSERT_TRUE(m_unit.Start(UnitHolding(Pois(120), 127)));
  OpenPage();
  Read();
  EXPECT_EQ(Rows(), Pois(100));
  ASSERT_EQ(m_messages.size(), 1);
  EXPECT_TRUE(m_messages[0].contains(u"120"_qs));
  // Nothing was left on the pipe: the next read is as good.
  Page().SetTimings(1, kPacingMs);
  ASSERT_TRUE(TestSupport::WaitUntil([this] { return !Page().IsSaveLocked(); }, 5000));
  Read();
  EXPECT_EQ(Rows(), Pois(100));
}

TEST_F(PoiPageTest, PipesNotOpenGiveTheMainPageBackAtOnce) {
  ASSERT_TRUE(m_unit.Start(QJsonObject{{"plugged", false}}));
  OpenPage();
  EXPECT_FALSE(Page().m_channels.IsOpen());
  Page().OnRead();
  EXPECT_EQ(m_messages, QStringList{u"Fail : handle is not open"_qs});
  EXPECT_FALSE(m_sheet->m_pageMain.m_bBusy);
  EXPECT_FALSE(Page().IsTaskRunning());

  Import(Pois(2));
  Page().OnSave();
  EXPECT_EQ(m_messages.size(), 2);
  EXPECT_EQ(Files("POI_SAVE_*.txt").size(), 1);  // the backup is written all the same
  EXPECT_FALSE(m_sheet->m_pageMain.m_bBusy);
}

TEST_F(PoiPageTest, PageAddedAgainLetsGoOfItsEarlierPipes) {
  ASSERT_TRUE(m_unit.Start(UnitHolding(Pois(2))));
  OpenPage();
  const std::weak_ptr<IUnitChannel> earlierCommand = Page().m_channels.command;
  const std::weak_ptr<IUnitChannel> earlierReply = Page().m_channels.reply;
  ASSERT_FALSE(earlierCommand.expired());
  Page().DestroyPageWindow();
  Page().CreatePageWindow();
  EXPECT_TRUE(earlierCommand.expired());
  EXPECT_TRUE(earlierReply.expired());
  ASSERT_TRUE(Page().m_channels.IsOpen());
  EXPECT_EQ(List().GetColumnCount(), 6);  // the columns are not added twice
  Read();
  EXPECT_EQ(Rows(), Pois(2));
}

TEST_F(PoiPageTest, DoubleClickOpensTheMapOfThatRow) {
  ASSERT_TRUE(m_unit.Start(UnitHolding({})));
  OpenPage();
  const QList<PoiTexts> pois = Pois(2);
  Import(pois);
  emit List().doubleClicked(List().model()->index(1, 2));
  ASSERT_EQ(m_opened.size(), 1);
  EXPECT_EQ(m_opened[0], PoiMapLink::MapUrl(pois[1].latitude, pois[1].longitude, pois[1].heading));
  EXPECT_TRUE(m_opened[0].toString().startsWith(u"http://www.v770.example/poi.asp?lat="_qs));
  Page().OpenPoiMap(-1);
  Page().OpenPoiMap(2);
  EXPECT_EQ(m_opened.size(), 1);
}

TEST_F(PoiPageTest, DeleteSelectedRemovesTheTickedRows) {
  ASSERT_TRUE(m_unit.Start(UnitHolding({})));
  OpenPage();
  Import(Pois(4));
  Page().OnDeleteSelected();
  EXPECT_EQ(List().GetItemCount(), 4);  // nothing ticked
  EXPECT_EQ(Page().m_staticCount->text(), u"4"_qs);
  List().SetCheck(0, true);
  List().SetCheck(2, true);
  List().SelectItem(1);
  Page().OnDeleteSelected();
  EXPECT_EQ(Rows(), (QList<PoiTexts>{Poi(1), Poi(3)}));
  EXPECT_EQ(List().GetItemText(0, 0), u"2"_qs);  // rows keep their numbers
  EXPECT_EQ(Page().m_staticCount->text(), u"2"_qs);
}

TEST_F(PoiPageTest, ImportThatCannotBeReadLeavesTheList) {
  ASSERT_TRUE(m_unit.Start(UnitHolding({})));
  OpenPage();
  Import(Pois(2));
  m_importPath = m_work.filePath(u"missing.txt"_qs);
  Page().ImportPoiFile();
  EXPECT_EQ(List().GetItemCount(), 2);
  m_importPath.clear();  // cancelled
  Page().ImportPoiFile();
  EXPECT_EQ(List().GetItemCount(), 2);
  EXPECT_TRUE(Page().m_btnReadFromPC->isEnabled());
}

TEST_F(PoiPageTest, TextsComeFromTheSheetsTable) {
  ASSERT_TRUE(m_unit.Start(UnitHolding({})));
  OpenPage();
  EXPECT_EQ(Page().m_btnRead->text(), u"T52"_qs);
  EXPECT_EQ(Page().m_btnReadFromPC->text(), u"T53"_qs);
  EXPECT_EQ(Page().m_btnDeleteAll->text(), u"T54"_qs);
  EXPECT_EQ(Page().m_btnDeleteSelected->text(), u"T55"_qs);
  EXPECT_EQ(Page().m_btnSave->text(), u"T56"_qs);
  EXPECT_EQ(Page().m_staticCountLabel->text(), u"T51"_qs);
  EXPECT_EQ(List().model()->headerData(0, Qt::Horizontal).toString(), u"T43"_qs);
  EXPECT_EQ(List().model()->headerData(5, Qt::Horizontal).toString(), u" T48"_qs);
  EXPECT_EQ(List().horizontalHeader()->sectionSize(0), 40);
  EXPECT_TRUE(List().HasCheckboxes());
  EXPECT_FALSE(Page().m_bTextsPending);

  Page().EnableControls(false);
  EXPECT_FALSE(Page().m_btnRead->isEnabled());
  EXPECT_FALSE(Page().m_btnSave->isEnabled());
  Page().EnableControls(true);
  EXPECT_TRUE(Page().m_btnDeleteSelected->isEnabled());
}

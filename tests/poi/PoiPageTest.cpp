// The POI page against the emulated unit: what the user does, what the list shows and what
// the unit holds afterwards.

#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>

#include "PoiTestSupport.h"
#include "app/CV700UpdaterDlg.h"
#include "platform/UiSeams.h"
#include "poi/CPOITab.h"
#include "poi/CSortableListCtrl.h"
#include "poi/PoiMapLink.h"
#include "support/UnitEmulator.h"
#include "text/ExtraTexts.h"

using TestSupport::WaitUntil;

namespace {

const QString kExports = QStringLiteral("POI_??????_??????*.txt");  // "_2" ... within a second
const QString kBackups = QStringLiteral("POI_SAVE_*.txt");

// POIs the unit keeps, all different.
const QList<PoiTexts> kPois = PoiTest::ValidPois(127);
QList<PoiTexts> Pois(int count, int first = 0) { return kPois.mid(first, count); }
QByteArray FileOf(const QList<PoiTexts>& pois) { return FormatPois(PoiFormat::Text, pois); }

QStringList Hex(const QList<PoiTexts>& pois) {
  QStringList hex;
  for (const PoiTexts& poi : pois) hex << PoiTest::Hex(EncodePoiRecord(poi));
  return hex;
}

class PoiPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_work = std::make_unique<QTemporaryDir>();
    m_savedFolder = QDir::currentPath();
    QDir::setCurrent(m_work->path());
    m_messages.clear();
    UiSeams::SetMessageHandler([this](const UiSeams::MessageRequest& request) {
      m_messages.append(request.text);
      m_readEnabledAtMessage = Page().m_btnRead->isEnabled();
      return QMessageBox::Ok;
    });
    UiSeams::SetFileDialogHandler([this](const UiSeams::FileDialogRequest& request) {
      if (request.selectedFilter) *request.selectedFilter = m_filter;
      return m_importPath;
    });
  }

  void TearDown() override {
    if (m_sheet) WaitIdle();
    m_sheet.reset();
    m_unit.reset();
    UiSeams::SetMessageHandler({});
    UiSeams::SetFileDialogHandler({});
    PoiMapLink::SetOpener({});
    SetExtraTextLanguage(kLanguageEnglish);
    QDir::setCurrent(m_savedFolder);
  }

  // An emulated unit holding `pois`, and the sheet (text n reads "Tn") with its POI page open.
  void OpenPage(const QList<PoiTexts>& pois) {
    m_unit = std::make_unique<UnitEmulator>();
    const QJsonObject poi{{"capacity", 127}, {"slots", QJsonArray::fromStringList(Hex(pois))}};
    ASSERT_TRUE(m_unit->Start({{"plugged", true}, {"poi", poi}}));
    m_sheet = std::make_unique<CV700UpdaterDlg>();
    for (int i = 0; i < kUiTextCount; ++i) m_sheet->m_arrText[0].append(QStringLiteral("T%1").arg(i));
    m_sheet->m_bUnitConnected = true;
    Page().SetTimings(20, 2);  // save lock tick and write pacing, shortened
    Page().CreatePageWindow();
  }

  CPOITab& Page() { return m_sheet->m_pagePOI; }
  CSortableListCtrl& List() { return *Page().m_listPOI; }

  // Waits for the running task; then keeps the main page's poll away from the unit.
  bool WaitIdle() {
    const bool idle = WaitUntil([this] { return !Page().IsTaskRunning(); }, 30000);
    m_sheet->m_pageMain.StopPollTimer();
    return idle;
  }

  void Import(const QList<PoiTexts>& pois) {
    m_importPath = m_work->filePath(QStringLiteral("import.txt"));
    ASSERT_TRUE(TestSupport::WriteFile(m_importPath, FileOf(pois)));
    Page().ImportPoiFile();
  }

  // The unit's slots, as hex, up to the last filled one.
  QStringList UnitSlots() {
    QStringList filled = m_unit->Status()["poi"].toObject()["slots"].toVariant().toStringList();
    while (!filled.isEmpty() && filled.last() == QString(24, u'0')) filled.removeLast();
    return filled;
  }

  QStringList Files(const QString& pattern) { return QDir(m_work->path()).entryList({pattern}, QDir::Files); }
  QByteArray Newest(const QString& pattern) {
    return TestSupport::ReadFile(m_work->filePath(Files(pattern).value(Files(pattern).size() - 1)));
  }

  std::unique_ptr<QTemporaryDir> m_work;
  QString m_savedFolder;
  std::unique_ptr<UnitEmulator> m_unit;
  std::unique_ptr<CV700UpdaterDlg> m_sheet;
  QStringList m_messages;
  bool m_readEnabledAtMessage = false;
  QString m_importPath, m_filter;  // what the file dialog answers
};

}  // namespace

// What the user does, step by step: N the sheet sees no unit, R Read, I import, X import a
// missing file, C cancel an import, A Delete All, T / K tick the first / third row, H
// highlight the second row, D Delete selected, O sort by latitude (descending), S Save,
// U unplug, u unplug 100 ms into the next step, Y replies late (within the wait), W the
// page's window made again (the sheet adds the page back), F French, L a reply left on the
// pipe by an earlier exchange.
TEST_F(PoiPageTest, UserStepsLeaveTheUnitHoldingWhatTheListShows) {
  struct Case {
    const char* steps;
    QList<PoiTexts> unit, imported, unitAfter, rowsAfter;
    QStringList messages = {};
    bool backup = false;  // a save wrote the list to a backup file
  };
  const QList<PoiTexts> three = Pois(3), two = Pois(2, 10), sorted{three[1], three[2], three[0]};
  QList<PoiTexts> badDate = three;
  badDate[1].date = u"2024/01/01"_qs;
  const QString noAnswer = ExtraText(ExtraTextId::UNIT_NO_ANSWER), notOpen = u"Fail : handle is not open"_qs;
  const Case cases[] = {
      {"R", three, {}, three, three},
      {"NR", two, {}, two, {}},
      {"R", Pois(127), {}, Pois(127), Pois(100),
       {u"The unit announced 127 POIs; only the first 100 were read."_qs}},
      {"RTDSTDSR", Pois(7), {}, Pois(5, 2), Pois(5, 2), {}, true},  // deleted POIs stay deleted
      {"ARS", three, {}, three, three, {}, true},         // a read after Delete All shows the unit again
      {"AIS", three, two, two, two, {}, true},            // Delete All, import, save: the unit holds the list
      {"AS", three, {}, {}, {}, {}, true},                // an empty list empties the unit
      {"IS", Pois(5), two, two, two, {}, true},           // never read: the unit's POIs are kept first
      {"IOS", {}, three, sorted, sorted, {}, true},       // rows go to the slots in display order
      {"IDTKHDXCS", {}, Pois(4), {kPois[1], kPois[3]}, {kPois[1], kPois[3]}, {}, true},  // ticked rows go
      {"IUSR", {}, three, {}, three, {noAnswer, noAnswer}, true},  // the unit gone: the page is given back
      {"IYuR", three, two, three, two, {noAnswer}},  // a failed read keeps the list
      {"YR", three, {}, three, three},
      {"RuS", Pois(100), {}, Pois(100), Pois(100), {noAnswer}, true},  // the backup holds the whole list
      {"UWRIS", {}, two, {}, two, {notOpen, notOpen}, true},
      {"WR", two, {}, two, two},
      {"LR", three, {}, three, three},  // the late reply left on the pipe shifts nothing
      {"IS", {}, badDate, {}, badDate, {u"POI Data Format Conversion is failed.Check your change."_qs}},
      {"FIS", {}, badDate, {}, badDate,
       {u"La conversion des données POI a échoué. Vérifiez vos modifications."_qs}},
      {"IS", {}, Pois(101), {}, Pois(101),
       {u"The unit keeps at most 100 POIs; the list holds 101. Delete some rows and save again."_qs}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.steps);
    OpenPage(c.unit);
    for (const char* step = c.steps; *step; ++step) {
      switch (*step) {
        case 'N': m_sheet->m_bUnitConnected = false; Page().EnableControls(false); break;
        case 'R': Page().OnRead(); break;
        case 'I': Import(c.imported); break;
        case 'X':  // a file that cannot be read is told, and the list stays
          m_importPath = m_work->filePath(u"missing.txt"_qs);
          Page().ImportPoiFile();
          ASSERT_TRUE(WaitIdle());
          EXPECT_EQ(m_messages.takeLast(), ExtraText(ExtraTextId::POI_FILE_NOT_READ).arg(m_importPath));
          break;
        case 'C': m_importPath.clear(); Page().ImportPoiFile(); break;
        case 'A': Page().OnDeleteAll(); break;
        case 'T': List().SetCheck(0, true); break;
        case 'K': List().SetCheck(2, true); break;
        case 'H': List().SelectItem(1); break;
        case 'D': Page().OnDeleteSelected(); break;
        case 'O': List().SortByColumn(3, false); break;
        case 'S': Page().OnSave(); break;
        case 'U': ASSERT_TRUE(m_unit->Client().Unplug()); break;
        case 'u': QTimer::singleShot(100, [this] { m_unit->Client().Unplug(); }); break;
        case 'Y': ASSERT_TRUE(m_unit->Client().ReplyDelay(300)); break;
        case 'F': m_sheet->SetLanguage(kLanguageFrench); break;
        case 'L':  // the unit answers an earlier exchange whose reader has gone
          WritePoiCommand(*Page().m_channels.command, PoiConstants::kCountCommand);
          ASSERT_TRUE(WaitUntil([this] {
            return m_unit->Status()["log"].toObject()["PIPE01POI"].toArray().last()["event"] == u"sent"_qs;
          }, 5000));
          break;
        case 'W': {
          const std::weak_ptr<IUnitChannel> earlier = Page().m_channels.reply;
          Page().DestroyPageWindow();
          Page().CreatePageWindow();
          EXPECT_TRUE(earlier.expired());  // the pipes of the earlier window are let go
          break;
        }
      }
      ASSERT_TRUE(WaitIdle());
    }
    EXPECT_EQ(UnitSlots(), Hex(c.unitAfter));
    EXPECT_EQ(Page().ListRows(), c.rowsAfter);
    EXPECT_EQ(Page().m_staticCount->text(), QString::number(c.rowsAfter.size()));
    const std::string steps = c.steps;
    EXPECT_EQ(m_messages, c.messages);
    const bool connected = steps.find('N') == std::string::npos;
    EXPECT_TRUE(m_readEnabledAtMessage || m_messages.isEmpty());
    EXPECT_EQ(Page().m_btnRead->isEnabled(), connected);
    EXPECT_FALSE(m_sheet->m_pageMain.m_bBusy);
    // No POI the unit held is lost: it is still there, in the list, or in an export or backup file.
    QByteArray files;
    for (const QString& name : Files(u"POI_*.txt"_qs)) files += TestSupport::ReadFile(m_work->filePath(name));
    for (const PoiTexts& poi : c.unit)
      EXPECT_TRUE(c.unitAfter.contains(poi) || c.rowsAfter.contains(poi) || files.contains(FileOf({poi})))
          << FileOf({poi}).constData();
    EXPECT_EQ(!Files(kBackups).isEmpty(), c.backup);
    if (steps.back() == 'S' && c.backup) {
      EXPECT_EQ(Newest(kBackups), FileOf(c.rowsAfter));
    }
    if (steps.back() == 'R') {
      // A read that got an answer writes what it shows to an export file and locks Save a while.
      const bool answered = !m_messages.contains(noAnswer);
      ASSERT_EQ(Files(kExports).isEmpty(), !answered);
      EXPECT_EQ(Page().IsSaveLocked(), answered);
      if (answered) {
        EXPECT_EQ(Newest(kExports), FileOf(c.rowsAfter));
      }
      EXPECT_TRUE(WaitUntil([this] { return !Page().IsSaveLocked(); }, 5000));
      EXPECT_EQ(Page().m_btnSave->isEnabled(), connected);
    }
    TearDown();
    SetUp();
  }
}

// In French, the list goes out as KML, a row the unit cannot keep stops an export and is
// shown; a row opens its map. (The page's control texts are its own table of indexes: not
// restated; a GPX through the page and its report: the large file's test.)
TEST_F(PoiPageTest, ExportsAndTheMapOfARow) {
  SetExtraTextLanguage(kLanguageFrench);
  OpenPage({});
  CPOITab& page = Page();
  CSortableListCtrl& list = List();
  Import(Pois(3));
  ASSERT_TRUE(WaitIdle());
  const QList<PoiTexts> rows = Page().ListRows();
  m_importPath = m_work->filePath(u"out"_qs);
  m_filter = PoiSaveDialogFilter().split(u";;"_qs).value(2);  // KML
  page.OnExport();
  const QString exported = m_importPath + u".kml"_qs;

  list.SetItemText(1, 5, u"7"_qs);
  page.OnExport();  // the same name with the suffix added: asked, and not replaced
  list.SetItemText(1, 2, u"7h45"_qs);
  m_importPath = exported;
  page.OnExport();
  ASSERT_EQ(m_messages.size(), 2);
  EXPECT_TRUE(m_messages[0].endsWith(u"Voulez-vous le remplacer ?"_qs)) << m_messages[0].toStdString();
  EXPECT_TRUE(m_messages[1].startsWith(u"La ligne 2 "_qs)) << m_messages[1].toStdString();
  EXPECT_TRUE(list.IsItemSelected(1));
  EXPECT_EQ(PoiTest::Rows(ReadPoiFile(exported)), rows);  // the earlier export stays whole

  QList<QUrl> opened;
  PoiMapLink::SetOpener([&](const QUrl& url) { opened.append(url); });
  emit list.doubleClicked(list.model()->index(1, 2));
  page.OpenPoiMap(-1);
  page.OpenPoiMap(3);
  EXPECT_EQ(opened, QList<QUrl>{PoiMapLink::MapUrl(rows[1].latitude, rows[1].longitude, u"7"_qs)});
}

// A map tool's file of megabytes is read while the window paints and shows the wait cursor:
// a 5 ms timer of the window never waits 100 ms for its turn. The list takes only as many
// of its POIs as the unit has free slots, and the report counts the others.
TEST_F(PoiPageTest, LargeFileIsReadWhileTheWindowStaysLive) {
  constexpr int kWaypoints = 100000, kListRows = 3, kSlots = PoiConstants::kSlotCount;
  OpenPage({});
  Import(Pois(kListRows, 3));  // far from the file's places
  ASSERT_TRUE(WaitIdle());
  QByteArray gpx = "<gpx version='1.1'>";
  for (int i = 0; i < kWaypoints; ++i)  // places 100 m apart
    gpx += QString::asprintf("<wpt lat='%.3f' lon='%.3f'><time>2015-07-14T08:30:00Z</time><name>Camera %d</name></wpt>\n",
                             i % 1000 * 0.001, i / 1000 * 0.001, i).toLatin1();
  m_importPath = m_work->filePath(u"large.gpx"_qs);
  ASSERT_TRUE(TestSupport::WriteFile(m_importPath, gpx + "</gpx>"));
  TestSupport::Clock sinceTick;
  qint64 longestStallMs = 0;
  bool waitCursorShown = false;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    longestStallMs = std::max(longestStallMs, sinceTick.restart());
    waitCursorShown |= QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
  });
  ticker.start(5);
  sinceTick.restart();
  Page().ImportPoiFile();
  ASSERT_TRUE(WaitIdle());
  EXPECT_LT(longestStallMs, 100);
  EXPECT_TRUE(waitCursorShown && !QGuiApplication::overrideCursor());
  EXPECT_EQ(List().GetItemText(kSlots - 1, 3), u"0.09600"_qs);  // the 97th POI of the file, and the last row
  EXPECT_EQ(m_messages.value(0).section(u'\n', 1),
            ExtraText(ExtraTextId::POI_IMPORT_NO_ROOM).arg(kWaypoints - kSlots + kListRows).arg(kSlots));
}

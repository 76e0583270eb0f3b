#include "app/CV700UpdaterDlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <algorithm>
#include <QKeyEvent>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QTabWidget>
#include <QTranslator>
#include <QVBoxLayout>

#include "app/CV700UpdaterApp.h"
#include "app/OwnVersion.h"
#include "platform/InternetState.h"
#include "platform/Profile.h"
#include "platform/UiSeams.h"
#include "platform/WorkingFolder.h"
#include "text/ExtraTexts.h"

namespace {
constexpr const char* kOwnModuleName = "V770PCSoft";
constexpr int kBoldFontPixelHeight = 14;
constexpr int kWindowWidth = 660;
constexpr int kWindowHeight = 560;
constexpr const char* kMainTitleAtStart = "Main";
constexpr const char* kResetTitleAtStart = "Reset";

// The toolkit's own texts (the file dialog, the buttons of message boxes) follow the
// language too, from the translation that comes with Qt; without it they stay English.
void SetToolkitLanguage(int nLanguage) {
  static QTranslator french;
  QCoreApplication::removeTranslator(&french);
  if (nLanguage == kLanguageFrench &&
      french.load(QLocale(QLocale::French), QStringLiteral("qtbase"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(&french);
}
}  // namespace

bool IsSheetSwallowedKey(int qtKey) {
  return qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter || qtKey == Qt::Key_Escape ||
         (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24);
}

CV700UpdaterDlg::CV700UpdaterDlg(QWidget* parent)
    : QDialog(parent),
      m_dlgSplash(this),
      m_pageMain(this),
      m_pageUpdate(this),
      m_pagePOI(this),
      m_pageOption(this),
      m_pageReset(this) {
  m_tabs = new QTabWidget(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 6, 6, 6);
  layout->addWidget(m_tabs);
  m_labelFolder = new QLabel(this);
  m_labelFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(m_labelFolder);
  resize(kWindowWidth, kWindowHeight);
  setWindowFlags(Qt::Window | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
  for (CPropertyPage* page : AllPages()) page->hide();
  connect(m_tabs, &QTabWidget::currentChanged, this, &CV700UpdaterDlg::OnCurrentTabChanged);
  m_timerSplash.setTimerType(Qt::PreciseTimer);  // the splash time is a promise to the user
  connect(&m_timerSplash, &QTimer::timeout, this, &CV700UpdaterDlg::OnSplashTimer);
  if (qApp) qApp->installEventFilter(this);
  m_unitJobs.SetListener([this] { OnUnitJobChanged(); });
}

CV700UpdaterDlg::~CV700UpdaterDlg() {
  m_unitJobs.SetListener({});  // the pages go first
  if (qApp) qApp->removeEventFilter(this);
  m_timerSplash.stop();
  if (theApp.m_pSheet == this) theApp.m_pSheet = nullptr;
  // The pages are members; take them out of the tab widget before they go.
  disconnect(m_tabs, nullptr, this, nullptr);
  while (m_tabs->count() > 0) m_tabs->removeTab(0);
}

std::array<CPropertyPage*, 5> CV700UpdaterDlg::AllPages() {
  return {&m_pageMain, &m_pageUpdate, &m_pagePOI, &m_pageOption, &m_pageReset};
}

void CV700UpdaterDlg::AddStartupPages() {
  m_pageMain.SetTitle(QString::fromLatin1(kMainTitleAtStart));
  AddPage(&m_pageMain);
  m_pageReset.SetTitle(QString::fromLatin1(kResetTitleAtStart));
  AddPage(&m_pageReset);
}

void CV700UpdaterDlg::AddPage(CPropertyPage* page) {
  if (GetPageIndex(page) >= 0) return;
  m_tabs->addTab(page, page->Title());
}

void CV700UpdaterDlg::RemovePage(CPropertyPage* page) {
  const int index = GetPageIndex(page);
  if (index < 0) return;
  m_tabs->removeTab(index);
  page->hide();
  page->DestroyPageWindow();
}

int CV700UpdaterDlg::GetPageIndex(const CPropertyPage* page) const {
  return m_tabs->indexOf(const_cast<CPropertyPage*>(page));
}

int CV700UpdaterDlg::GetPageCount() const { return m_tabs->count(); }

CPropertyPage* CV700UpdaterDlg::GetActivePage() const {
  return qobject_cast<CPropertyPage*>(m_tabs->currentWidget());
}

void CV700UpdaterDlg::SetActivePage(CPropertyPage* page) {
  const int index = GetPageIndex(page);
  if (index >= 0) m_tabs->setCurrentIndex(index);
}

void CV700UpdaterDlg::SetActivePageIndex(int index) {
  if (index >= 0 && index < m_tabs->count()) m_tabs->setCurrentIndex(index);
}

QString CV700UpdaterDlg::TabLabel(int index) const { return m_tabs->tabText(index); }

void CV700UpdaterDlg::OnUnitJobChanged() {
  for (CPropertyPage* page : AllPages()) page->OnUnitJobChanged(m_unitJobs.HeldByOther(page->Job()));
}

void CV700UpdaterDlg::OnCurrentTabChanged(int index) {
  auto* page = qobject_cast<CPropertyPage*>(m_tabs->widget(index));
  if (!page || !m_bInitialised) return;
  page->CreatePageWindow();
  page->OnSetActive();
}

int CV700UpdaterDlg::DoModal() {
  if (!OnInitDialog() || m_bClosing) return QDialog::Rejected;
  return exec();
}

bool CV700UpdaterDlg::CloseProgram() {
  if (m_bClosing) return true;
  auto pages = AllPages();
  const bool sending = std::any_of(pages.begin(), pages.end(), [](CPropertyPage* page) { return page->IsSendingToUnit(); });
  if (sending && UiSeams::ShowMessage(this, ExtraText(ExtraTextId::CLOSE_DURING_TRANSFER), UiSeams::MessageIcon::Warning,
                                      QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
    return false;
  m_bClosing = true;
  m_timerSplash.stop();
  for (CPropertyPage* page : pages) page->StopWorkers();
  if (m_dlgSplash.isVisible()) m_dlgSplash.reject();
  if (isVisible()) reject();
  return true;
}

void CV700UpdaterDlg::closeEvent(QCloseEvent* event) {
  if (!CloseProgram()) return event->ignore();
  QDialog::closeEvent(event);
}

bool CV700UpdaterDlg::OnInitDialog() {
  int splashIntervalMs = kSplashTimerOnlineMs;
  GetOwnVersion(FindModuleFile(QString::fromLatin1(kOwnModuleName)), &m_wOwnVersion[0],
                &m_wOwnVersion[1], &m_wOwnVersion[2], &m_wOwnVersion[3]);

  // The whole working directory is used, however long: a short buffer would send the
  // program to the root of the drive for its data files.
  m_strCurDir = WorkingFolder::Current();
  m_strUITextPath = WorkingFolder::FilePath(m_strCurDir, QString::fromLatin1(kUITextFileName));
  m_strVersionPath = WorkingFolder::FilePath(m_strCurDir, QString::fromLatin1(kVersionFileName));

  if (InternetState::IsConnected()) {
    m_bInternetConnected = true;
    m_bSplashWait = true;
  } else {
    m_bInternetConnected = false;
    splashIntervalMs = kSplashTimerOfflineMs;
  }
  m_nSplashTicks = 0;
  m_timerSplash.start(splashIntervalMs);

  m_dlgSplash.SetVersion(m_wOwnVersion[0], m_wOwnVersion[1], m_wOwnVersion[2], m_wOwnVersion[3]);
  m_dlgSplash.exec();  // the splash timer keeps ticking inside and closes it

  ReadVersionFile();
  ReadUITextFile();

  // The first page's window is created once the texts are loaded.
  m_bInitialised = true;
  if (CPropertyPage* first = GetActivePage()) first->CreatePageWindow();

  setWindowTitle(QString::fromLatin1(kCaptionFormat)
                     .arg(m_wOwnVersion[0])
                     .arg(m_wOwnVersion[1])
                     .arg(m_wOwnVersion[2])
                     .arg(m_wOwnVersion[3]));

  m_fontBold = QFont();
  m_fontBold.setPixelSize(kBoldFontPixelHeight);
  m_fontBold.setWeight(QFont::Bold);
  emit startupFinished();
  return true;
}

bool CV700UpdaterDlg::ReadVersionFile() {
  // A file that cannot be read leaves what the sheet held as it was.
  VersionInfo info;
  if (!::ReadVersionFile(m_strVersionPath, info)) {
    UiSeams::ShowMessage(this, QString::fromLatin1(kVersionMissingMessage));
    return false;
  }
  m_listDB = info.listDB;
  m_listVoice = info.listVoice;
  m_strPCSoftVersion = info.strPCSoftVersion;
  m_strFWVersion = info.strFWVersion;
  m_strFWFile = info.strFWFile;
  return true;
}

bool CV700UpdaterDlg::ReadUITextFile() {
  // The program's own messages; without their file each message shows its key.
  LoadExtraTexts(WorkingFolder::FilePath(m_strCurDir, QString::fromLatin1(kExtraTextFileName)));
  SetExtraTextLanguage(m_nLanguageID);
  SetToolkitLanguage(m_nLanguageID);
  ShowWorkingFolder();
  if (!::ReadUITextFile(m_strUITextPath, m_arrText)) {
    UiSeams::ShowMessage(this, QString::fromLatin1(kUITextMissingMessage));
    return false;
  }
  m_strErrorMsg = CopyErrorMessages(m_arrText, m_nLanguageID);
  return true;
}

void CV700UpdaterDlg::ShowWorkingFolder() {
  m_labelFolder->setText(ExtraText(ExtraTextId::WORKING_FOLDER) + QLatin1Char(' ') + QDir::toNativeSeparators(m_strCurDir));
}

void CV700UpdaterDlg::OnSplashTimer() {
  ++m_nSplashTicks;
  if (m_nSplashTicks >= kSplashCloseTick) {
    m_nSplashTicks = 0;
    m_bSplashWait = false;
    m_timerSplash.stop();
    m_dlgSplash.reject();
  }
}

void CV700UpdaterDlg::ShowDevicePages(bool bShow) {
  if (bShow && !m_bDevicePagesShown) {
    for (CPropertyPage* page :
         std::array<CPropertyPage*, 4>{&m_pageUpdate, &m_pagePOI, &m_pageOption, &m_pageReset})
      RemovePage(page);
    m_bDevicePagesShown = true;
    SetPageTitles(m_nLanguageID, true);
    for (CPropertyPage* page : AllPages()) page->m_bTextsPending = true;
    for (CPropertyPage* page : AllPages())
      if (page->HasWindow()) page->ApplyLanguage(m_nLanguageID);
  } else if (!bShow && m_bDevicePagesShown) {
    m_bDevicePagesShown = false;
    for (CPropertyPage* page : std::array<CPropertyPage*, 3>{&m_pageUpdate, &m_pagePOI, &m_pageOption})
      RemovePage(page);
  }
}

void CV700UpdaterDlg::SetPageTitles(int nLanguage, bool bAdd) {
  if (m_pageMain.HasWindow()) {
    const int index = GetPageIndex(&m_pageMain);
    m_pageMain.SetTitle(UiText(m_arrText, nLanguage, MAIN_TAB_001));
    if (index >= 0) m_tabs->setTabText(index, m_pageMain.Title());
  }
  const std::array<std::pair<CPropertyPage*, int>, 4> titled{{{&m_pageUpdate, DBFW_TAB_001},
                                                             {&m_pagePOI, POI_TAB_001},
                                                             {&m_pageOption, OPTION_TAB_001},
                                                             {&m_pageReset, RESET_TAB_001}}};
  for (const auto& [page, textIndex] : titled) {
    page->SetTitle(UiText(m_arrText, nLanguage, textIndex));
    if (bAdd) {
      AddPage(page);
    } else {
      const int index = GetPageIndex(page);
      if (index >= 0) m_tabs->setTabText(index, page->Title());
    }
  }
}

void CV700UpdaterDlg::SetLanguage(int nLanguage) {
  if (nLanguage == m_nLanguageID) return;
  SetPageTitles(nLanguage, false);
  m_nLanguageID = nLanguage;
  // The error messages follow the language too: a user who switches never meets the other
  // one until the next start.
  m_strErrorMsg = CopyErrorMessages(m_arrText, nLanguage);
  SetExtraTextLanguage(nLanguage);
  SetToolkitLanguage(nLanguage);
  ShowWorkingFolder();
  for (CPropertyPage* page :
       std::array<CPropertyPage*, 4>{&m_pageMain, &m_pageUpdate, &m_pagePOI, &m_pageOption})
    page->m_bTextsPending = true;
  Profile::WriteProfileInt(Profile::kSection, Profile::kLanguageKey, nLanguage);
  for (CPropertyPage* page : AllPages())
    if (page->HasWindow()) page->ApplyLanguage(nLanguage);
}

void CV700UpdaterDlg::EnableDevicePages(bool bEnable) {
  for (CPropertyPage* page :
       std::array<CPropertyPage*, 4>{&m_pageUpdate, &m_pagePOI, &m_pageOption, &m_pageReset})
    if (page->HasWindow()) page->EnableControls(bEnable);
}

bool CV700UpdaterDlg::eventFilter(QObject* watched, QEvent* event) {
  // Enter, Escape and the function keys never reach the window or its controls, so they
  // cannot close the sheet; only the close box does.
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget && (widget == this || isAncestorOf(widget)) &&
        IsSheetSwallowedKey(static_cast<QKeyEvent*>(event)->key()))
      return true;
  }
  return QDialog::eventFilter(watched, event);
}

void CV700UpdaterDlg::keyPressEvent(QKeyEvent* event) {
  if (IsSheetSwallowedKey(event->key())) return;
  QDialog::keyPressEvent(event);
}

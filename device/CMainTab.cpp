#include "device/CMainTab.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QUrl>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <span>

#include "app/CV700UpdaterDlg.h"
#include "device/ComboSelection.h"
#include "device/UnitLibrary.h"
#include "platform/UiSeams.h"
#include "widgets/CWebBrowser2.h"

namespace {

constexpr const char* kHWCaption = "H/W ID : ";
constexpr const char* kFWCaption = "F/W Version : ";
constexpr const char* kAreaCaption = "DB Area : ";
constexpr const char* kDBCaption = "DB Version : ";
constexpr const char* kVoiceCaption = "Voice Version : ";
constexpr const char* kUSBCaption = "USB Status   : ";
constexpr const char* kUSBNotConnected = "Not Connected";
constexpr int kBannerMinHeight = 150;
constexpr int kErrorMsg004 = 3;  // slot of ERROR_MSG_004 in the sheet's error texts

QLabel* NewLabel(QWidget* parent) {
  auto* label = new QLabel(parent);
  label->setWordWrap(true);
  return label;
}

}  // namespace

CMainTab::CMainTab(CV700UpdaterDlg* sheet) : CPropertyPage(sheet) {
  BuildControls();
  // A coarse timer may fire up to 5 % early: the unit would be asked before its 1.5 s.
  for (QTimer* timer : {&m_timerPoll, &m_timerQueryDelay}) timer->setTimerType(Qt::PreciseTimer);
  m_timerPoll.setObjectName(QStringLiteral("poll"));
  m_timerQueryDelay.setObjectName(QStringLiteral("versionQueryDelay"));
  m_timerQueryDelay.setSingleShot(true);
  m_timerQueryDelay.setInterval(kVersionQueryDelayMs);
  connect(&m_timerPoll, &QTimer::timeout, this, &CMainTab::OnPollTimer);
  connect(&m_timerQueryDelay, &QTimer::timeout, this, &CMainTab::StartVersionQuery);
}

CMainTab::~CMainTab() = default;

void CMainTab::BuildControls() {
  m_groupLanguage = new QGroupBox(this);
  m_comboLanguage = new QComboBox(m_groupLanguage);
  m_comboLanguage->setEditable(true);
  m_comboLanguage->setInsertPolicy(QComboBox::NoInsert);
  auto* languageLayout = new QVBoxLayout(m_groupLanguage);
  languageLayout->addWidget(m_comboLanguage);
  languageLayout->addStretch();

  m_browserBanner = new CWebBrowser2(this);
  m_browserBanner->setMinimumHeight(kBannerMinHeight);

  m_groupSteps = new QGroupBox(this);
  auto* stepsLayout = new QVBoxLayout(m_groupSteps);
  for (QLabel*& step : m_staticSteps) {
    step = NewLabel(m_groupSteps);
    stepsLayout->addWidget(step);
  }

  m_groupInfo = new QGroupBox(this);
  auto* infoLayout = new QGridLayout(m_groupInfo);
  const std::array<std::pair<QLabel**, QLabel**>, 6> rows{{{&m_staticHWCaption, &m_staticHWValue},
                                                          {&m_staticFWCaption, &m_staticFWValue},
                                                          {&m_staticAreaCaption, &m_staticAreaValue},
                                                          {&m_staticDBCaption, &m_staticDBValue},
                                                          {&m_staticVoiceCaption, &m_staticVoiceValue},
                                                          {&m_staticUSBCaption, &m_staticUSBValue}}};
  int row = 0;
  for (const auto& [caption, value] : rows) {
    // A caption stays on one line; its column is as wide as the longest one.
    *caption = new QLabel(m_groupInfo);
    *value = NewLabel(m_groupInfo);
    infoLayout->addWidget(*caption, row, 0);
    infoLayout->addWidget(*value, row, 1);
    ++row;
  }
  infoLayout->setColumnStretch(1, 1);

  auto* top = new QHBoxLayout;
  top->addWidget(m_groupLanguage);
  top->addWidget(m_browserBanner, 1);
  auto* page = new QVBoxLayout(this);
  page->addLayout(top);
  page->addWidget(m_groupSteps);
  page->addWidget(m_groupInfo);
  page->addStretch();

  connect(m_comboLanguage, &QComboBox::activated, this, &CMainTab::OnSelchangeLanguage);
  connect(m_comboLanguage->lineEdit(), &QLineEdit::textEdited, this, &CMainTab::OnEditchangeLanguage);
}

void CMainTab::OnInitDialog() {
  m_staticHWCaption->setText(QString::fromLatin1(kHWCaption));
  m_staticFWCaption->setText(QString::fromLatin1(kFWCaption));
  m_staticAreaCaption->setText(QString::fromLatin1(kAreaCaption));
  m_staticDBCaption->setText(QString::fromLatin1(kDBCaption));
  m_staticVoiceCaption->setText(QString::fromLatin1(kVoiceCaption));
  m_staticUSBCaption->setText(QString::fromLatin1(kUSBCaption));
  ClearValues();
  m_staticUSBValue->setText(QString::fromLatin1(kUSBNotConnected));

  if (m_bTextsPending) ApplyLanguage(Sheet()->m_nLanguageID);
  m_nLanguageSel = m_comboLanguage->currentIndex();

  if (m_strBannerURL.isEmpty()) m_strBannerURL = BannerUrl(QString::fromLatin1(kBannerDefaultLanguage));
  m_browserBanner->SetInternetConnected(Sheet()->m_bInternetConnected);
  m_browserBanner->Navigate(m_strBannerURL);

  StartPollTimer(kPollPeriodMs);
}

void CMainTab::OnDestroyWindow() {
  m_timerPoll.stop();
  m_timerQueryDelay.stop();
}

bool CMainTab::OnSetActive() {
  m_bBusy = false;
  StartPollTimer(kPollPeriodMs);
  return CPropertyPage::OnSetActive();
}

void CMainTab::ApplyLanguage(int nLanguage) {
  const UiTextTables& tables = Sheet()->m_arrText;
  const auto text = [&](int index) { return UiText(tables, nLanguage, index); };

  m_groupLanguage->setTitle(text(UiIndex(MAIN_TAB_001, 2)));
  m_groupInfo->setTitle(text(UiIndex(MAIN_TAB_001, 4)));
  m_staticHWCaption->setText(text(UiIndex(MAIN_TAB_001, 5)));
  m_staticAreaCaption->setText(text(UiIndex(MAIN_TAB_001, 6)));
  m_staticDBCaption->setText(text(UiIndex(MAIN_TAB_001, 7)));
  m_staticFWCaption->setText(text(UiIndex(MAIN_TAB_001, 8)));
  m_staticVoiceCaption->setText(text(UiIndex(MAIN_TAB_001, 9)));
  m_staticUSBCaption->setText(text(UiIndex(MAIN_TAB_001, 10)));
  m_groupSteps->setTitle(text(UiIndex(DBFW_TAB_001, 21)));
  const std::array<int, 4> steps{UiIndex(DBFW_TAB_001, 22), UiIndex(DBFW_TAB_001, 23),
                                 UiIndex(DBFW_TAB_001, 11), UiIndex(DBFW_TAB_001, 24)};
  for (std::size_t i = 0; i < steps.size(); ++i) m_staticSteps[i]->setText(text(steps[i]));

  m_strNotConnected = text(UiIndex(MAIN_TAB_001, 11));
  m_strConnected = text(UiIndex(MAIN_TAB_001, 12));
  // Only a complete table is trusted with the banner address.
  if (nLanguage >= 1 && nLanguage <= kLanguageTableCount &&
      tables[static_cast<std::size_t>(nLanguage - 1)].size() == kUiTextCount)
    m_strBannerURL = text(BANNER_URL_001);
  m_staticUSBValue->setText(Sheet()->m_bUnitConnected ? m_strConnected : m_strNotConnected);

  m_comboLanguage->clear();
  m_comboLanguage->addItems(ParseListValue(text(LANGUAGE_001)));
  m_comboLanguage->setCurrentIndex(nLanguage - 1);
  m_nLanguageSel = m_comboLanguage->currentIndex();
  m_bTextsPending = false;
}

// The main page's controls do not depend on the unit.
void CMainTab::EnableControls(bool /*bEnable*/) {}

void CMainTab::StopPollTimer() { m_timerPoll.stop(); }

void CMainTab::StartPollTimer(int periodMs) { m_timerPoll.start(periodMs); }

void CMainTab::ClearValues() {
  for (QLabel* value : {m_staticHWValue, m_staticFWValue, m_staticAreaValue, m_staticDBValue, m_staticVoiceValue})
    value->clear();
}

void CMainTab::OnPollTimer() {
  if (m_bBusy) return;
  CV700UpdaterDlg& sheet = *Sheet();
  // Without the library the last known state stands.
  const UnitProbe probe = ProbeUnit();
  if (probe.bLibraryLoaded) sheet.m_bUnitConnected = probe.bUnitPresent;

  if (sheet.m_bUnitConnected) {
    if (!m_bConnectionShown) {
      m_bConnectionShown = true;
      m_staticUSBValue->setText(m_strConnected);
      m_timerQueryDelay.start();
    }
    return;
  }
  // A unit that left during the wait is not asked any more, nor waited for.
  m_timerQueryDelay.stop();
  m_versionQuery.RequestStop();
  m_bBusy = false;
  m_bConnectionShown = false;
  sheet.m_bUnitConnected = false;
  sheet.EnableDevicePages(false);
  m_staticUSBValue->setText(m_strNotConnected);
  ClearValues();
  sheet.ShowDevicePages(false);
}

void CMainTab::StopWorkers() {
  m_timerPoll.stop();
  m_timerQueryDelay.stop();
  m_versionQuery.Stop();
}

void CMainTab::StartVersionQuery() {
  const bool unitConnected = Sheet()->m_bUnitConnected;
  m_versionQuery.Start([unitConnected](const WorkerRun<CMainTab>& run) {
    const VersionQueryResult result =
        RunVersionQuery(unitConnected, UnitChannel::kDefaultTimeoutMs, run.StopToken());
    run.Post([result](CMainTab* self) { self->OnVersionQueryDone(result); });
  });
}

void CMainTab::OnVersionQueryDone(const VersionQueryResult& result) {
  switch (result.outcome) {
    case VersionQueryOutcome::ReplyReady: {
      // A reply that arrives after the poll saw the unit leave belongs to no unit.
      if (!m_bConnectionShown) return;
      const auto size = std::min<qsizetype>(result.reply.size(), kVersionReplySize);
      std::copy_n(result.reply.constData(), size, reinterpret_cast<char*>(m_byVersionReply.data()));
      m_byVersionReply[static_cast<std::size_t>(size)] = 0;
      OnVersionReply(kReplyReady, 0);
      break;
    }
    case VersionQueryOutcome::NoReply:
      OnVersionReply(kNoReply, 0);
      break;
    case VersionQueryOutcome::ChannelNotOpen:
      UiSeams::ShowMessage(this, Sheet()->m_strErrorMsg[kErrorMsg004]);
      break;
    case VersionQueryOutcome::UnitNotConnected:
      break;
  }
}

int CMainTab::OnVersionReply(int wParam, int /*lParam*/) {
  if (wParam != kReplyReady) return 0;
  CV700UpdaterDlg& sheet = *Sheet();
  const UnitVersionInfo info = UnitVersionInfo::FromReply(
      std::span<const std::int8_t>(m_byVersionReply.data(), kVersionReplySize), sheet.m_listDB);
  if (info.nDBTestNumber > 0) sheet.ShowDevicePages(true);

  m_staticHWValue->setText(info.strHWVersion);
  m_staticFWValue->setText(info.strFWVersion);
  m_staticAreaValue->setText(info.strDBArea);
  m_staticDBValue->setText(info.strDBVersion);
  m_staticVoiceValue->setText(info.strVoiceVersion);

  CDBUpdateTab& update = sheet.m_pageUpdate;
  update.m_strUnitDBArea = info.strDBArea;
  update.m_nUnitDBVersion = info.nUnitDBVersion;
  update.m_nUnitDBArea = info.nUnitDBArea;
  update.m_nUnitVoiceVersion = info.nUnitVoiceVersion;
  update.m_nUnitVoiceLanguage = info.nUnitVoiceLanguage;
  update.m_fUnitFWVersion = info.fUnitFWVersion;

  sheet.EnableDevicePages(true);
  update.OnUnitIdentified();
  sheet.m_pageReset.OnUnitIdentified();
  emit sheet.unitIdentified();
  return 0;
}

void CMainTab::OnSelchangeLanguage() {
  const int selection = m_comboLanguage->currentIndex();
  Sheet()->SetLanguage(selection + 1);
  m_nLanguageSel = selection;
  m_browserBanner->Navigate(BannerUrl(m_comboLanguage->itemText(selection)));
}

void CMainTab::OnEditchangeLanguage() {
  RestoreComboSelection(m_comboLanguage, m_nLanguageSel);
}

QString CMainTab::BannerUrl(const QString& language) {
  QUrl url(QString::fromLatin1(kBannerPage));
  QUrlQuery query;
  query.addQueryItem(QStringLiteral("lang"), language);
  query.addQueryItem(QStringLiteral("model"), QString::fromLatin1(kBannerModel));
  url.setQuery(query);
  return url.toString();
}

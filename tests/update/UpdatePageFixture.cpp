#include "UpdatePageFixture.h"

#include <zip.h>

#include <QDir>
#include <QFile>

#include "app/VersionFile.h"
#include "platform/UiSeams.h"
#include "support/TestSupport.h"
#include "text/UiTextTable.h"

void UpdatePageFixture::SetUp() {
  ASSERT_TRUE(m_work.isValid());
  m_previousDir = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(m_work.path()));
  UiSeams::SetMessageHandler([this](const UiSeams::MessageRequest& request) {
    m_messages << request.text;
    return QMessageBox::Ok;
  });

  m_sheet = std::make_unique<CV700UpdaterDlg>();
  ASSERT_TRUE(ReadUITextFile(TestSupport::ShippedDataPath(QStringLiteral("V770UIText_New_v12.txt")),
                             m_sheet->m_arrText));
  m_sheet->m_strErrorMsg = CopyErrorMessages(m_sheet->m_arrText, kLanguageEnglish);
  VersionInfo info;
  ASSERT_TRUE(ReadVersionFile(TestSupport::ShippedDataPath(QStringLiteral("V770_VersionInfo_v12.txt")), info));
  m_sheet->m_listDB = info.listDB;
  m_sheet->m_listVoice = info.listVoice;
  m_sheet->m_strFWFile = info.strFWFile;
  m_sheet->m_strFWVersion = info.strFWVersion;
  m_sheet->m_bInternetConnected = true;
  m_sheet->m_bUnitConnected = true;
  m_sheet->m_fontBold.setBold(true);
  SetUnitReply(kUnitReply);
}

void UpdatePageFixture::TearDown() {
  m_sheet.reset();
  UiSeams::SetMessageHandler({});
  QDir::setCurrent(m_previousDir);
}

void UpdatePageFixture::SetUnitReply(const std::array<std::int8_t, 12>& reply) {
  std::copy(reply.begin(), reply.end(), m_sheet->m_pageMain.m_byVersionReply.begin());
  const auto unit = UpdateCatalogue::UnitVersions::FromReply(reply.data());
  CDBUpdateTab& page = m_sheet->m_pageUpdate;
  page.m_nUnitDBVersion = unit.nDBVersion;
  page.m_nUnitDBArea = unit.nDBArea;
  page.m_nUnitVoiceVersion = unit.nVoiceVersion;
  page.m_nUnitVoiceLanguage = unit.nVoiceLanguage;
  page.m_fUnitFWVersion = QStringLiteral("%1.%2").arg(unit.nFWMajor).arg(unit.nFWMinor).toFloat();
  page.m_strUnitDBArea.clear();
  for (const VersionEntry& entry : m_sheet->m_listDB) {
    if (entry.nIndex == unit.nDBArea - UpdateCatalogue::kDBAreaCodeOffset) {
      page.m_strUnitDBArea = entry.strText.mid(entry.strText.lastIndexOf(u'_') + 1);
      break;
    }
  }
}

void UpdatePageFixture::OpenPage() { Page().CreatePageWindow(); }

bool MakeZip(const QString& path, const QList<std::pair<QString, QByteArray>>& items) {
  int error = 0;
  zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) return false;
  for (const auto& [name, bytes] : items) {
    // The archive copies the bytes when it is closed; until then they must stay.
    void* copy = malloc(static_cast<size_t>(bytes.size()) + 1);
    memcpy(copy, bytes.constData(), static_cast<size_t>(bytes.size()));
    zip_source_t* source = zip_source_buffer(archive, copy, static_cast<zip_uint64_t>(bytes.size()), 1);
    if (!source || zip_file_add(archive, name.toUtf8().constData(), source, ZIP_FL_ENC_UTF_8) < 0) {
      if (source) zip_source_free(source);
      zip_discard(archive);
      return false;
    }
  }
  return zip_close(archive) == 0;
}

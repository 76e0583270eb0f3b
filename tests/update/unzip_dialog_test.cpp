// The manual-pack dialog: starts by itself, moves its bar over 0..4 and closes with the
// outcome; a failure is told in a box titled "Error".
#include <gtest/gtest.h>
#include <zip.h>

#include <QDialog>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "platform/UiSeams.h"
#include "support/TestSupport.h"
#include "update/CUnzipPackDlg.h"
#include "update/UnzipArchive.h"
#include "widgets/TextProgressBar.h"

namespace {

class UnzipPackDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(temp.isValid());
    UiSeams::SetMessageHandler([this](const UiSeams::MessageRequest& request) {
      messages.push_back(request);
      return QMessageBox::Ok;
    });
  }
  void TearDown() override { UiSeams::SetMessageHandler({}); }

  QTemporaryDir temp;
  std::vector<UiSeams::MessageRequest> messages;
};

bool MakePack(const QString& path, int items) {
  int error = 0;
  zip_t* archive = zip_open(QFile::encodeName(path).constData(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (!archive) return false;
  static const char kData[] = "package";
  for (int i = 0; i < items; ++i) {
    zip_source_t* source = zip_source_buffer(archive, kData, sizeof kData, 0);
    if (zip_file_add(archive, QStringLiteral("item%1.hdr").arg(i).toUtf8().constData(), source, 0) < 0)
      return false;
  }
  return zip_close(archive) == 0;
}

TEST_F(UnzipPackDialog, UnpacksTheShippedPackNameAndCloses) {
  ASSERT_TRUE(MakePack(temp.filePath(QStringLiteral("V770_manualPack.PCK")), 3));
  CUnzipPackDlg dialog;
  EXPECT_EQ(dialog.m_strPackFile, "V770_manualPack.PCK");
  EXPECT_EQ(dialog.windowTitle(), "UNZIP PCK");
  EXPECT_EQ(dialog.ProgressBar()->GetUpper(), 4);
  EXPECT_EQ(dialog.ProgressBar()->GetPos(), 0);
  dialog.m_strTargetFolder = temp.path();

  QElapsedTimer timer;
  timer.start();
  EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
  EXPECT_GE(timer.elapsed(), 450);  // it waits half a second before it starts
  EXPECT_EQ(dialog.ProgressBar()->GetPos(), 4);
  EXPECT_TRUE(messages.empty());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(QFile::exists(temp.filePath(QStringLiteral("item%1.hdr").arg(i))));
}

TEST_F(UnzipPackDialog, MissingPackIsCancelledWithAnErrorBox) {
  CUnzipPackDlg dialog;
  dialog.m_strTargetFolder = temp.path();
  EXPECT_EQ(dialog.DoModal(), QDialog::Rejected);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Error");
  EXPECT_TRUE(messages[0].text.startsWith(UnzipArchive::FormatMessage(ZR_NOFILE)));
}

}  // namespace

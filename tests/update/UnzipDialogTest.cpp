// The manual-pack dialog starts half a second after it shows and closes with the outcome.
#include "UpdateTestSupport.h"
#include "platform/UiSeams.h"
#include "update/CUnzipPackDlg.h"
#include "update/UnzipArchive.h"
#include "widgets/TextProgressBar.h"

TEST(UnzipPackDialog, UnpacksThePackAndClosesWithTheOutcome) {
  std::vector<UiSeams::MessageRequest> messages;
  UiSeams::SetMessageHandler([&](const UiSeams::MessageRequest& request) {
    messages.push_back(request);
    return QMessageBox::Ok;
  });
  QTemporaryDir temp;
  CUnzipPackDlg missing;
  missing.m_strTargetFolder = temp.path();
  EXPECT_EQ(missing.DoModal(), QDialog::Rejected);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "Error");
  EXPECT_TRUE(messages[0].text.startsWith(UnzipArchive::FormatMessage(ZR_NOFILE)));

  ASSERT_TRUE(UpdateTestSupport::MakeZip(temp.filePath(QStringLiteral("V770_manualPack.PCK")),
                                         {{"item0.hdr", "a"}, {"item1.hdr", "b"}, {"item2.hdr", "c"}}));
  CUnzipPackDlg dialog;
  dialog.m_strTargetFolder = temp.path();
  QElapsedTimer timer;
  timer.start();
  EXPECT_EQ(dialog.DoModal(), QDialog::Accepted);
  EXPECT_GE(timer.elapsed(), 450);
  EXPECT_EQ(std::pair(dialog.ProgressBar()->GetPos(), messages.size()), std::pair(4, std::size_t(1)));
  EXPECT_TRUE(QFile::exists(temp.filePath(QStringLiteral("item2.hdr"))));
  UiSeams::SetMessageHandler({});
}

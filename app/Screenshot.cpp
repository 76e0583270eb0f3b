#include "app/Screenshot.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <utility>

#include "app/CV700UpdaterDlg.h"
#include "platform/UiSeams.h"

namespace Screenshot {
namespace {
constexpr int kDefaultDelayMs = 1500;
constexpr int kPageSettleMs = 700;  // lets a page that was just switched to paint itself
// A connected unit that has not answered yet is waited for, so the picture shows its
// versions even on a slow machine, but a unit that never answers does not hold it for ever.
constexpr int kIdentifyWaitMs = 30000;

void SaveAndClose(CV700UpdaterDlg* sheet, const QString& path) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  // The screen grab includes the window frame and its caption where a window manager drew
  // one; fall back to the window's own contents when the screen cannot be read.
  QPixmap picture;
  if (QScreen* screen = sheet->screen()) {
    const QRect frame = sheet->frameGeometry();
    picture = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  }
  if (picture.isNull()) picture = sheet->grab();
  if (picture.save(path))
    std::fprintf(stderr, "screenshot saved to %s\n", qPrintable(path));
  else
    std::fprintf(stderr, "could not save the screenshot to %s\n", qPrintable(path));
  sheet->done(0);
}
}  // namespace

void ArrangeFromEnvironment(CV700UpdaterDlg* sheet) {
  const QString path = qEnvironmentVariable("V770_SCREENSHOT");
  if (path.isEmpty()) return;
  bool ok = false;
  int delayMs = qEnvironmentVariableIntValue("V770_SCREENSHOT_DELAY_MS", &ok);
  if (!ok || delayMs < 0) delayMs = kDefaultDelayMs;
  // Nobody is there to answer a message box: print it and go on.
  UiSeams::SetMessageHandler([](const UiSeams::MessageRequest& request) {
    std::fprintf(stderr, "message: %s\n", qPrintable(request.text));
    return QMessageBox::Ok;
  });
  // V770_SCREENSHOT_PAGE picks the tab to show (0 = the first) when the sheet has it.
  const int pageIndex = qEnvironmentVariableIntValue("V770_SCREENSHOT_PAGE", &ok);
  const bool switchPage = ok && pageIndex > 0;
  const auto takePicture = [=] {
    if (!switchPage || pageIndex >= sheet->GetPageCount()) return SaveAndClose(sheet, path);
    sheet->SetActivePageIndex(pageIndex);
    QTimer::singleShot(kPageSettleMs, sheet, [=] { SaveAndClose(sheet, path); });
  };
  const auto identified = std::make_shared<bool>(false);
  QObject::connect(sheet, &CV700UpdaterDlg::unitIdentified, sheet, [identified] { *identified = true; });
  QObject::connect(sheet, &CV700UpdaterDlg::startupFinished, sheet, [=] {
    QTimer::singleShot(delayMs, sheet, [=] {
      if (*identified || !sheet->m_bUnitConnected) return takePicture();
      const auto taken = std::make_shared<bool>(false);
      const auto takeOnce = [=] {
        if (std::exchange(*taken, true)) return;
        takePicture();
      };
      QObject::connect(sheet, &CV700UpdaterDlg::unitIdentified, sheet, takeOnce, Qt::SingleShotConnection);
      QTimer::singleShot(kIdentifyWaitMs, sheet, takeOnce);
    });
  });
}

}  // namespace Screenshot

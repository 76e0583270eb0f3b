#include "app/ScriptedPresses.h"

#include <QAbstractButton>
#include <QStringList>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/CV700UpdaterDlg.h"

namespace ScriptedPresses {
namespace {
constexpr int kLookPeriodMs = 200;

// Presses the step's button when the step can be done now; true once it is done.
bool TryStep(CV700UpdaterDlg* sheet, const QString& step) {
  const QString title = step.section(QLatin1Char(':'), 0, 0);
  const QString text = step.section(QLatin1Char(':'), 1);
  int pageIndex = 0;
  while (pageIndex < sheet->GetPageCount() && sheet->TabLabel(pageIndex) != title) ++pageIndex;
  if (pageIndex == sheet->GetPageCount()) return false;
  if (CPropertyPage* shown = sheet->GetActivePage(); !shown || sheet->GetPageIndex(shown) != pageIndex) {
    // Showing a page may already start something (a modal window): say so first.
    std::fprintf(stderr, "page: %s\n", qPrintable(title));
    std::fflush(stderr);
    sheet->SetActivePageIndex(pageIndex);
  }
  CPropertyPage* page = sheet->GetActivePage();  // the page may refuse to be shown
  if (!page || sheet->GetPageIndex(page) != pageIndex) return false;
  QAbstractButton* target = nullptr;
  for (QAbstractButton* button : page->findChildren<QAbstractButton*>())
    if (button->text() == text && button->isVisible() && button->isEnabled()) target = button;
  if (!text.isEmpty() && !target) return false;
  std::fprintf(stderr, "press: %s\n", qPrintable(step));
  std::fflush(stderr);
  if (target) target->click();
  return true;
}
}  // namespace

void ArrangeFromEnvironment(CV700UpdaterDlg* sheet) {
  const QStringList steps = qEnvironmentVariable("V770_PRESS").split(QLatin1Char(';'), Qt::SkipEmptyParts);
  if (steps.isEmpty()) return;
  auto* timer = new QTimer(sheet);
  timer->setInterval(kLookPeriodMs);
  auto next = std::make_shared<qsizetype>(0);
  auto busy = std::make_shared<bool>(false);
  QObject::connect(timer, &QTimer::timeout, sheet, [=] {
    // A step that opens a modal window gets ticks inside it: they wait for it to end.
    if (*busy) return;
    if (*next >= steps.size()) return timer->stop();
    *busy = true;
    if (TryStep(sheet, steps[*next])) ++*next;
    *busy = false;
  });
  QObject::connect(sheet, &CV700UpdaterDlg::startupFinished, timer, qOverload<>(&QTimer::start));
}

}  // namespace ScriptedPresses

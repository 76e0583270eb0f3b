#include "poi/CBusyGuard.h"

#include <QCursor>
#include <QGuiApplication>
#include <QMutex>
#include <QThread>

namespace {

QMutex g_busyMutex;
int g_busyCount = 0;

// The cursor belongs to the user-interface thread; a worker's change is queued to it. The
// begin and end of one guard come from one thread, so they arrive in order.
void OnUiThread(void (*change)()) {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!app) return;
  if (QThread::currentThread() == app->thread())
    change();
  else
    QMetaObject::invokeMethod(app, change, Qt::QueuedConnection);
}

void BeginWaitCursor() { QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }
void EndWaitCursor() { QGuiApplication::restoreOverrideCursor(); }

}  // namespace

CBusyGuard::CBusyGuard() {
  OnUiThread(&BeginWaitCursor);
  QMutexLocker lock(&g_busyMutex);
  ++g_busyCount;
}

CBusyGuard::~CBusyGuard() {
  {
    QMutexLocker lock(&g_busyMutex);
    --g_busyCount;
  }
  OnUiThread(&EndWaitCursor);
}

bool CBusyGuard::IsBusy() { return BusyCount() > 0; }

int CBusyGuard::BusyCount() {
  QMutexLocker lock(&g_busyMutex);
  return g_busyCount;
}

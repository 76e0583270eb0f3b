#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <functional>
#include <utility>

// Runs one POI exchange on a thread of its own (never joined; it deletes itself when done)
// and hands the result to `report` on the user-interface thread. A report to a receiver
// that no longer exists is dropped. Workers never touch a widget.
template <typename Result>
QThread* StartPoiWorker(QObject* receiver, std::function<Result()> work,
                        std::function<void(const Result&)> report) {
  QPointer<QObject> guard(receiver);
  QThread* thread = QThread::create([guard = std::move(guard), work = std::move(work),
                                     report = std::move(report)]() mutable {
    Result result = work();
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;  // the program is ending: nobody to report to
    QMetaObject::invokeMethod(
        app,
        [guard = std::move(guard), report = std::move(report), result = std::move(result)] {
          if (guard) report(result);
        },
        Qt::QueuedConnection);
  });
  QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
  thread->start();
  return thread;
}

#pragma once

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <utility>

// How a worker thread reports to its page: the call runs later on the user-interface
// thread, and only if the page still exists then. The worker never touches the page itself.
template <typename Page, typename Report>
void PostToPage(const QPointer<Page>& page, Report report) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  QMetaObject::invokeMethod(
      app,
      [page, report = std::move(report)]() mutable {
        if (page) report(page.data());
      },
      Qt::QueuedConnection);
}

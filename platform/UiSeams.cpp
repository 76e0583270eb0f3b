#include "platform/UiSeams.h"

#include <QApplication>
#include <QFileDialog>
#include <QMutex>
#include <QThread>
#include <array>
#include <cstdio>

namespace UiSeams {
namespace {

QMutex g_handlerMutex;
MessageHandler g_messageHandler;
FileDialogHandler g_fileDialogHandler;

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Warning: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::None: break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButton ShowRealMessage(const MessageRequest& request) {
  QWidget* parent = request.parent;
  QMessageBox box(ToQtIcon(request.icon),
                  request.caption.isEmpty() ? QApplication::applicationDisplayName() : request.caption,
                  request.text, request.buttons, parent);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton Dispatch(const MessageRequest& request) {
  MessageHandler handler;
  {
    QMutexLocker lock(&g_handlerMutex);
    handler = g_messageHandler;
  }
  return handler ? handler(request) : ShowRealMessage(request);
}

}  // namespace

QMessageBox::StandardButton ShowMessage(QWidget* parent, const QString& text, MessageIcon icon,
                                        QMessageBox::StandardButtons buttons) {
  return ShowMessage(MessageRequest{parent, text, QString(), icon, buttons});
}

QMessageBox::StandardButton ShowMessage(const MessageRequest& given) {
  MessageRequest request = given;
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || QThread::currentThread() == app->thread()) return Dispatch(request);
  // A worker never touches a widget: the box is shown by the user-interface thread.
  request.parent = nullptr;
  QMessageBox::StandardButton answer = QMessageBox::NoButton;
  QMetaObject::invokeMethod(app, [&] { answer = Dispatch(request); }, Qt::BlockingQueuedConnection);
  return answer;
}

void SetMessageHandler(MessageHandler handler) {
  QMutexLocker lock(&g_handlerMutex);
  g_messageHandler = std::move(handler);
}

void AnswerMessagesFromEnvironment() {
  const QString file = qEnvironmentVariable("V770_FILE_ANSWER");
  if (!file.isEmpty()) SetFileDialogHandler([file](const FileDialogRequest&) { return file; });
  const QString answer = qEnvironmentVariable("V770_MESSAGE_ANSWER").toLower();
  if (answer != QLatin1String("yes") && answer != QLatin1String("no")) return;
  const bool yes = answer == QLatin1String("yes");
  SetMessageHandler([yes](const MessageRequest& request) {
    std::fprintf(stderr, "message: %s\n", qPrintable(request.text));
    // An array by value: the lists of a conditional would not outlive the expression.
    const std::array<QMessageBox::StandardButton, 2> preferred =
        yes ? std::array{QMessageBox::Yes, QMessageBox::Ok} : std::array{QMessageBox::No, QMessageBox::Cancel};
    for (QMessageBox::StandardButton button : preferred)
      if (request.buttons.testFlag(button)) return button;
    return QMessageBox::Ok;
  });
}

QString ChooseFile(const FileDialogRequest& request) {
  FileDialogHandler handler;
  {
    QMutexLocker lock(&g_handlerMutex);
    handler = g_fileDialogHandler;
  }
  if (handler) return handler(request);
  return request.save ? QFileDialog::getSaveFileName(request.parent, request.caption, request.folder, request.filter,
                                                      request.selectedFilter)
                      : QFileDialog::getOpenFileName(request.parent, request.caption, request.folder, request.filter,
                                                      request.selectedFilter);
}

void SetFileDialogHandler(FileDialogHandler handler) {
  QMutexLocker lock(&g_handlerMutex);
  g_fileDialogHandler = std::move(handler);
}

}  // namespace UiSeams

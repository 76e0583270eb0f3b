#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

class QWidget;

// Every message box and file dialog of the program goes through these functions, so a test
// can answer them without a modal window ever blocking it.
namespace UiSeams {

enum class MessageIcon { None, Information, Warning, Error, Question };

struct MessageRequest {
  QWidget* parent = nullptr;
  QString text;
  QString caption;
  MessageIcon icon = MessageIcon::None;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};

using MessageHandler = std::function<QMessageBox::StandardButton(const MessageRequest&)>;

// Shows a message box (OK button unless told otherwise) and returns the button pressed.
// Callable from any thread: from a worker the box is shown on the user-interface thread
// and the worker waits for the answer.
QMessageBox::StandardButton ShowMessage(QWidget* parent, const QString& text,
                                        MessageIcon icon = MessageIcon::None,
                                        QMessageBox::StandardButtons buttons = QMessageBox::Ok);

// The same with every field of the request, for a box with its own caption.
QMessageBox::StandardButton ShowMessage(const MessageRequest& request);

// Replaces the message box; pass an empty function to restore the real one.
void SetMessageHandler(MessageHandler handler);

// Where nobody sits at the screen (a test driving the program as a child process),
// V770_MESSAGE_ANSWER=yes or =no answers every box: the text goes to standard error and the
// box gets Yes (or OK), or No (or Cancel); V770_FILE_ANSWER=PATH answers every file dialog
// with PATH. Nothing changes when they are not set.
void AnswerMessagesFromEnvironment();

struct FileDialogRequest {
  QWidget* parent = nullptr;
  QString caption;
  QString folder;
  QString filter;
  bool save = false;
  QString* selectedFilter = nullptr;  // when given: the filter the user left chosen
};

using FileDialogHandler = std::function<QString(const FileDialogRequest&)>;

// Asks for a file to open (or to save); an empty result means the user cancelled.
QString ChooseFile(const FileDialogRequest& request);
void SetFileDialogHandler(FileDialogHandler handler);

}  // namespace UiSeams

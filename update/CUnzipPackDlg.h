#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

#include "platform/Worker.h"

class TextProgressBar;

// The small modal dialog that unpacks the manual pack into the working folder while its bar
// moves. It starts half a second after it is shown and closes itself: accepted when every
// item was written, rejected otherwise (after saying why). The unpacking runs on the dialog's
// own worker, so the window keeps painting; closing or destroying the dialog stops it.
class CUnzipPackDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kStartDelayMs = 500;
  static constexpr int kProgressControlId = 1082;

  explicit CUnzipPackDlg(QWidget* parent = nullptr);

  // exec(): QDialog::Accepted when unpacked, QDialog::Rejected otherwise.
  int DoModal() { return exec(); }
  // Starts unpacking on the worker; the outcome closes the dialog.
  void UnpackManualPack();
  // The program is closing: ends the unpacking and closes the dialog without a message.
  void Stop();
  bool WasStopped() const { return m_bStopped; }
  // A user's close ends the unpacking first: no item is written after the dialog is gone.
  void reject() override;

  // The archive, relative to the working folder, and where its items go (the working folder
  // unless set).
  QString m_strPackFile;
  QString m_strTargetFolder;

 protected:
  // The unpacking starts once the dialog is up.
  void showEvent(QShowEvent* event) override;

 private:
  void OnStartTimer();
  void OnUnpackDone(int result, const QString& error);

  TextProgressBar* m_pProgress = nullptr;
  QTimer m_timerStart;
  bool m_bStarted = false;
  bool m_bStopped = false;
  Worker<CUnzipPackDlg> m_worker{this};  // last: stopped and joined first
};

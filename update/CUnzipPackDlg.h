#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

class TextProgressBar;

// The small modal dialog that unpacks the manual pack into the working folder while its bar
// moves. It starts half a second after it is shown and closes itself: accepted when every
// item was written, rejected otherwise (after saying why).
class CUnzipPackDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kStartDelayMs = 500;
  static constexpr int kProgressControlId = 1082;

  explicit CUnzipPackDlg(QWidget* parent = nullptr);

  // exec(): QDialog::Accepted when unpacked, QDialog::Rejected otherwise.
  int DoModal() { return exec(); }
  // 1 on success, 0 on failure (the message is shown).
  int UnpackManualPack();

  // The archive, relative to the working folder, and where its items go (the working folder
  // unless set).
  QString m_strPackFile;
  QString m_strTargetFolder;

  TextProgressBar* ProgressBar() const { return m_pProgress; }

 protected:
  // The unpacking starts once the dialog is up.
  void showEvent(QShowEvent* event) override;

 private:
  void OnStartTimer();

  TextProgressBar* m_pProgress = nullptr;
  QTimer m_timerStart;
  bool m_bStarted = false;
};

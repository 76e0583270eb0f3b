#pragma once

#include <QDialog>
#include <cstdint>

class GradientLabel;
class CTransparentStatic;

// The caption-less picture window shown while the program starts. It has no buttons and
// ignores Enter and Escape; the sheet's splash timer closes it.
class CSplashDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CSplashDlg(QWidget* parent = nullptr);
  ~CSplashDlg() override;

  void SetVersion(uint16_t wMajor, uint16_t wMinor, uint16_t wBuild, uint16_t wRevision);

  // The version text as shown (for tests and the caption of screenshots).
  QString VersionText() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void OnInitDialog();

  uint16_t m_wMajor = 0, m_wMinor = 0, m_wBuild = 0, m_wRevision = 0;
  CTransparentStatic* m_version = nullptr;  // control 1004
  GradientLabel* m_status1 = nullptr;      // control 1005
  GradientLabel* m_status2 = nullptr;      // control 1006
};

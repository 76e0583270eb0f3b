#pragma once

#include <QDialog>
#include <QPixmap>
#include <QRect>
#include <cstdint>

class GradientLabel;
class CTransparentStatic;
class QLabel;

// The caption-less picture window shown while the program starts. It has no buttons and
// ignores Enter and Escape; the sheet's splash timer closes it.
class CSplashDlg : public QDialog {
  Q_OBJECT
 public:
  static constexpr int kWidth = 402;
  static constexpr int kHeight = 305;
  // The layout is drawn in dialog units of the system font, about two pixels each here.
  static constexpr int kPixelsPerDialogUnit = 2;
  static constexpr const char* kInitialVersionText = "1.0.0.0";

  explicit CSplashDlg(QWidget* parent = nullptr);
  ~CSplashDlg() override;

  void SetVersion(uint16_t wMajor, uint16_t wMinor, uint16_t wBuild, uint16_t wRevision);

  // The version text as shown (for tests and the caption of screenshots).
  QString VersionText() const;

  // The picture behind the controls, kWidth x kHeight.
  static QPixmap Picture();
  // A rectangle of the layout, given in dialog units, in pixels.
  static QRect FromDialogUnits(int x, int y, int width, int height);

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void OnInitDialog();

  uint16_t m_wMajor = 0, m_wMinor = 0, m_wBuild = 0, m_wRevision = 0;
  QLabel* m_picture = nullptr;
  CTransparentStatic* m_version = nullptr;  // control 1004
  GradientLabel* m_status1 = nullptr;       // control 1005
  GradientLabel* m_status2 = nullptr;       // control 1006
};

// Whether the splash swallows a key: Enter, Escape and F2 to F24. F1 goes on as usual (and
// starts no help).
bool IsSplashSwallowedKey(int qtKey);

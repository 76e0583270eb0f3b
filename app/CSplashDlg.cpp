#include "app/CSplashDlg.h"

#include <QKeyEvent>

CSplashDlg::CSplashDlg(QWidget* parent) : QDialog(parent) {}
CSplashDlg::~CSplashDlg() = default;
void CSplashDlg::SetVersion(uint16_t wMajor, uint16_t wMinor, uint16_t wBuild, uint16_t wRevision) {
  m_wMajor = wMajor; m_wMinor = wMinor; m_wBuild = wBuild; m_wRevision = wRevision;
}
QString CSplashDlg::VersionText() const { return QStringLiteral("%1.%2.%3.%4").arg(m_wMajor).arg(m_wMinor).arg(m_wBuild).arg(m_wRevision); }
void CSplashDlg::showEvent(QShowEvent* event) { QDialog::showEvent(event); }
void CSplashDlg::keyPressEvent(QKeyEvent* event) { event->ignore(); }
void CSplashDlg::OnInitDialog() {}

#include "app/CSplashDlg.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "widgets/CTransparentStatic.h"
#include "widgets/GradientLabel.h"

namespace {
constexpr COLORREF kStatusColour = 0xFFFFFF;
constexpr int kVersionFontPixels = 11;
}  // namespace

bool IsSplashSwallowedKey(int qtKey) {
  return qtKey == Qt::Key_Return || qtKey == Qt::Key_Enter || qtKey == Qt::Key_Escape ||
         (qtKey >= Qt::Key_F2 && qtKey <= Qt::Key_F24);
}

QRect CSplashDlg::FromDialogUnits(int x, int y, int width, int height) {
  return QRect(x * kPixelsPerDialogUnit, y * kPixelsPerDialogUnit, width * kPixelsPerDialogUnit,
               height * kPixelsPerDialogUnit);
}

CSplashDlg::CSplashDlg(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setFixedSize(kWidth, kHeight);

  m_picture = new QLabel(this);
  m_picture->setGeometry(0, 0, kWidth, kHeight);
  m_picture->setPixmap(Picture());

  m_version = new CTransparentStatic(QString::fromLatin1(kInitialVersionText), this);
  m_version->setGeometry(FromDialogUnits(46, 104, 27, 9));
  QFont versionFont = m_version->font();
  versionFont.setPixelSize(kVersionFontPixels);
  m_version->setFont(versionFont);

  m_status1 = new GradientLabel(this);
  m_status1->setGeometry(FromDialogUnits(21, 117, 164, 9));
  m_status2 = new GradientLabel(this);
  m_status2->setGeometry(FromDialogUnits(20, 128, 66, 9));
}

CSplashDlg::~CSplashDlg() = default;

void CSplashDlg::SetVersion(uint16_t wMajor, uint16_t wMinor, uint16_t wBuild, uint16_t wRevision) {
  m_wMajor = wMajor;
  m_wMinor = wMinor;
  m_wBuild = wBuild;
  m_wRevision = wRevision;
}

QString CSplashDlg::VersionText() const { return m_version->text(); }

void CSplashDlg::showEvent(QShowEvent* event) {
  // Each showing starts afresh from the version given just before it.
  if (!event->spontaneous()) OnInitDialog();
  QDialog::showEvent(event);
}

void CSplashDlg::OnInitDialog() {
  m_status1->SetColors(kStatusColour, kStatusColour, GradientLabel::kGradientNone);
  m_status2->SetColors(kStatusColour, kStatusColour, GradientLabel::kGradientNone);
  m_status1->hide();
  m_version->setText(QString::asprintf("%d.%d.%d.%d", m_wMajor, m_wMinor, m_wBuild, m_wRevision));
}

void CSplashDlg::keyPressEvent(QKeyEvent* event) {
  if (IsSplashSwallowedKey(event->key())) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

QPixmap CSplashDlg::Picture() {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);

  // Night sky over a road, the unit's radar sweep, and a light panel for the version lines.
  const QRect sky(0, 0, kWidth, 190);
  QLinearGradient skyGradient(sky.topLeft(), sky.bottomLeft());
  skyGradient.setColorAt(0.0, QColor(8, 22, 58));
  skyGradient.setColorAt(1.0, QColor(30, 84, 150));
  painter.fillRect(sky, skyGradient);

  QPainterPath road;
  road.moveTo(170, 190);
  road.lineTo(232, 190);
  road.lineTo(214, 110);
  road.lineTo(188, 110);
  road.closeSubpath();
  painter.fillPath(road, QColor(40, 44, 52));
  painter.setPen(QPen(QColor(250, 210, 60), 2, Qt::DashLine));
  painter.drawLine(QPointF(201, 188), QPointF(201, 112));

  const QPointF sweepCentre(330, 70);
  QRadialGradient sweep(sweepCentre, 60);
  sweep.setColorAt(0.0, QColor(120, 255, 150, 200));
  sweep.setColorAt(1.0, QColor(120, 255, 150, 0));
  painter.setPen(Qt::NoPen);
  painter.setBrush(sweep);
  painter.drawPie(QRectF(sweepCentre.x() - 60, sweepCentre.y() - 60, 120, 120), 200 * 16, 70 * 16);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(QColor(120, 255, 150, 160), 1.5));
  for (int radius = 20; radius <= 60; radius += 20) painter.drawEllipse(sweepCentre, radius, radius);

  QFont title = painter.font();
  title.setPixelSize(56);
  title.setBold(true);
  painter.setFont(title);
  painter.setPen(Qt::white);
  painter.drawText(QRect(24, 18, 260, 70), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("V770"));
  QFont subtitle = painter.font();
  subtitle.setPixelSize(16);
  subtitle.setBold(false);
  painter.setFont(subtitle);
  painter.drawText(QRect(28, 86, 300, 22), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("GPS speed-camera warner"));

  const QRect panel(0, 190, kWidth, kHeight - 190);
  QLinearGradient panelGradient(panel.topLeft(), panel.bottomLeft());
  panelGradient.setColorAt(0.0, QColor(236, 240, 246));
  panelGradient.setColorAt(1.0, QColor(200, 210, 224));
  painter.fillRect(panel, panelGradient);
  painter.fillRect(QRect(0, 190, kWidth, 3), QColor(250, 210, 60));

  QFont caption = painter.font();
  caption.setPixelSize(15);
  caption.setBold(true);
  painter.setFont(caption);
  painter.setPen(QColor(20, 40, 80));
  painter.drawText(QRect(190, 200, 200, 26), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("PC Software"));
  QFont label = painter.font();
  label.setPixelSize(11);
  label.setBold(false);
  painter.setFont(label);
  painter.setPen(QColor(70, 80, 100));
  const QRect versionLine = FromDialogUnits(46, 104, 27, 9);
  painter.drawText(QRect(24, versionLine.top(), versionLine.left() - 28, versionLine.height()),
                   Qt::AlignRight | Qt::AlignTop, QStringLiteral("Version"));

  // Thin border of the caption-less window.
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(QColor(60, 70, 90));
  painter.drawRect(0, 0, kWidth - 1, kHeight - 1);
  painter.end();
  return QPixmap::fromImage(image);
}

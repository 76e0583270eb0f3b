#include "cli/CliConsole.h"

#include <algorithm>
#include <cstdio>

#include "platform/Terminal.h"

CliConsole::CliConsole() : m_bTerminal(StandardOutputIsTerminal()) {}

CliConsole::~CliConsole() { EndProgress(); }

void CliConsole::Raw(const QByteArray& bytes) {
  std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
  std::fflush(stdout);
}

void CliConsole::Line(const QString& text) {
  EndProgress();
  Raw(text.toUtf8() + '\n');
}

void CliConsole::Error(const QString& text) {
  EndProgress();
  // One line, whatever the text holds: scripts read the first line of standard error.
  QString line = text.simplified();
  std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stderr);
  std::fflush(stderr);
}

void CliConsole::StartProgress(const QString& label) {
  EndProgress();
  m_strLabel = label;
  m_nShown = -1;
  m_bBarOpen = true;
  if (!m_bTerminal) Raw(label.toUtf8() + '\n');
  Progress(0);
}

void CliConsole::Progress(int percent) {
  if (!m_bBarOpen) return;
  percent = std::clamp(percent, 0, kFullPercent);
  if (m_bTerminal) {
    if (percent == m_nShown) return;
    m_nShown = percent;
    const int filled = percent * kBarWidth / kFullPercent;
    const QString bar = QString(filled, QLatin1Char('#')) + QString(kBarWidth - filled, QLatin1Char('.'));
    Raw(QStringLiteral("\r%1 [%2] %3%").arg(m_strLabel, bar).arg(percent, 3).toUtf8());
    return;
  }
  const int step = percent / kPlainStepPercent * kPlainStepPercent;
  if (step <= m_nShown) return;
  m_nShown = step;
  Raw(QStringLiteral("%1%\n").arg(step).toUtf8());
}

void CliConsole::EndProgress() {
  if (!m_bBarOpen) return;
  m_bBarOpen = false;
  if (m_bTerminal) Raw("\n");
}

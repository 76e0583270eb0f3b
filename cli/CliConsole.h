#pragma once

#include <QByteArray>
#include <QString>

// Where the command line writes: results and progress to standard output, the one line of a
// failure to standard error. Progress is a bar redrawn in place on a terminal and plain lines
// (one every kPlainStepPercent) when the output goes to a file or a pipe.
class CliConsole {
 public:
  static constexpr int kBarWidth = 30;
  static constexpr int kPlainStepPercent = 10;
  static constexpr int kFullPercent = 100;

  // Whether standard output is a terminal decides the progress style.
  CliConsole();
  explicit CliConsole(bool bTerminal) : m_bTerminal(bTerminal) {}
  ~CliConsole();

  void Line(const QString& text);
  void Raw(const QByteArray& bytes);
  void Error(const QString& text);

  // A new phase ("Sending the firmware to the unit..."); the previous bar is ended.
  void StartProgress(const QString& label);
  // Percent of the phase; values above 100 show as 100.
  void Progress(int percent);
  void EndProgress();

 private:
  bool m_bTerminal;
  bool m_bBarOpen = false;
  int m_nShown = -1;
  QString m_strLabel;
};

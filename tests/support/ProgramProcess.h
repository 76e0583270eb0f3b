#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <vector>

// The program started as a user starts it, offscreen, in a working folder with the shipped
// data files and settings and runtime folders of its own. Programs started here end with it.
class ProgramProcess {
 public:
  ProgramProcess();
  ~ProgramProcess();
  QString WorkPath(const QString& name) const { return m_work.filePath(name); }
  // Starts one more program in these folders, with the current environment added.
  QProcess& Start();
  // What the first program wrote to standard error so far.
  QString ErrorOutput() const;

 private:
  QTemporaryDir m_work, m_runtime, m_config;
  std::vector<std::unique_ptr<QProcess>> m_programs;
};

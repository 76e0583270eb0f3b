#pragma once

#include <QString>
#include <QtGlobal>

#include "platform/Worker.h"

// Receives the progress reports of a download. Called on the thread that runs the download,
// which is never the user-interface thread: an owner that shows the report forwards it
// (WorkerDownloadSink does that for the owner of a worker).
class IDownloadSink {
 public:
  virtual ~IDownloadSink() = default;
  virtual void OnDownloadProgress(const QString& statusText, const QString& progressText, int percent,
                                  quint64 bytesDone, quint64 bytesTotal) = 0;
};

// Hands the reports of a download on a worker to the worker's owner, through the worker's run:
// they arrive on the owner's thread, and none arrives after the run was asked to stop, so a
// stopped download never shows a size behind the controls given back. The owner implements
// OnDownloadProgress with the sink's arguments.
template <typename Owner>
class WorkerDownloadSink : public IDownloadSink {
 public:
  explicit WorkerDownloadSink(const WorkerRun<Owner>& run) : m_run(run) {}
  void OnDownloadProgress(const QString& statusText, const QString& progressText, int percent, quint64 bytesDone,
                          quint64 bytesTotal) override {
    m_run.Post([=](Owner* owner) { owner->OnDownloadProgress(statusText, progressText, percent, bytesDone, bytesTotal); });
  }

 private:
  const WorkerRun<Owner>& m_run;
};

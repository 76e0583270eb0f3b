#pragma once

#include <QCoreApplication>
#include <QPointer>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>
#include <utility>

// A background task owned by the object it reports to. Every worker thread of the program is
// one of these, so none outlives the object that started it.
//
// The rules:
// - The owner (a page, or any QObject on the user-interface thread) holds the Worker as a
//   member, declared after everything the task may read, and passes itself as the receiver.
//   Destroying the Worker asks its task to stop and joins it, so no task outlives its owner
//   and none is left running at exit.
// - One task at a time: Start() asks a task still running to stop and joins it first, so two
//   tasks of one owner never talk to the unit at once.
// - The task polls run.StopRequested(), or hands run.StopToken() to what it calls (for an
//   exchange with the unit, wrap its channels in a StoppableChannel: every call fails at once
//   after a stop, so the exchange's own retry rules end it quickly). A stop only ends a task
//   early; it never changes how the task talks to the unit.
// - The task never touches a widget or its owner. It reports through the run:
//     run.Post(report)  queued, like a posted message;
//     run.Send(report)  the same, and waits until the report has run, like a sent message;
//                       it gives up (false) when a stop is asked meanwhile, so a joining
//                       owner never deadlocks with it.
//   report(receiver) runs later on the user-interface thread, only while the receiver lives
//   and only while the run has not been asked to stop: reports of a stopped or superseded run
//   are dropped. Reports capture what they carry by value.
// - A task never blocks on the user-interface thread by other means (a blocking queued call,
//   a message box shown from the worker): the owner may be joining it.
//
// Example, an owner that asks the unit something:
//
//   class CSomePage : public CPropertyPage {
//     ...
//     void OnAnswer(const Answer& answer);  // runs on the user-interface thread
//     Worker<CSomePage> m_worker{this};     // last member: stopped and joined first
//   };
//
//   void CSomePage::Ask() {
//     m_worker.Start([request = m_request](const WorkerRun<CSomePage>& run) {
//       const Answer answer = RunExchange(request, run.StopToken());
//       run.Post([answer](CSomePage* page) { page->OnAnswer(answer); });
//     });
//   }
template <typename Receiver>
class WorkerRun {
 public:
  WorkerRun(std::stop_token stop, QPointer<Receiver> receiver)
      : m_stop(std::move(stop)), m_receiver(std::move(receiver)) {}

  bool StopRequested() const { return m_stop.stop_requested(); }
  const std::stop_token& StopToken() const { return m_stop; }

  template <typename Report>
  void Post(Report report) const {
    Queue(std::move(report), nullptr);
  }

  // True once the report has run; false when it was dropped or a stop was asked first.
  template <typename Report>
  bool Send(Report report) const {
    auto done = std::make_shared<Handshake>();
    if (!Queue(std::move(report), done)) return false;
    std::unique_lock lock(done->mutex);
    std::stop_token stop = m_stop;
    return done->condition.wait(lock, stop, [&] { return done->finished; }) && done->ran;
  }

 private:
  struct Handshake {
    std::mutex mutex;
    std::condition_variable_any condition;
    bool finished = false;
    bool ran = false;
  };

  template <typename Report>
  bool Queue(Report report, std::shared_ptr<Handshake> done) const {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || m_stop.stop_requested()) return false;
    // The guard is read only on the user-interface thread, where the receiver is destroyed.
    auto deliver = [receiver = m_receiver, stop = m_stop, report = std::move(report), done]() mutable {
      const bool run = receiver && !stop.stop_requested();
      if (run) report(receiver.data());
      if (!done) return;
      std::lock_guard lock(done->mutex);
      done->finished = true;
      done->ran = run;
      done->condition.notify_all();
    };
    if (QThread::currentThread() == app->thread()) {
      deliver();
      return true;
    }
    return QMetaObject::invokeMethod(app, std::move(deliver), Qt::QueuedConnection);
  }

  std::stop_token m_stop;
  QPointer<Receiver> m_receiver;
};

template <typename Receiver>
class Worker {
 public:
  explicit Worker(Receiver* receiver) : m_receiver(receiver) {}
  ~Worker() { Stop(); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // Runs task(const WorkerRun<Receiver>&) on a thread of its own.
  template <typename Task>
  void Start(Task task) {
    Stop();
    m_thread = std::jthread([receiver = m_receiver, task = std::move(task)](std::stop_token stop) mutable {
      task(WorkerRun<Receiver>(std::move(stop), std::move(receiver)));
    });
  }

  // Asks the task to stop and drops its reports from now on; does not wait.
  void RequestStop() { m_thread.request_stop(); }
  // Asks the task to stop and waits until it has ended.
  void Stop() {
    if (!m_thread.joinable()) return;
    m_thread.request_stop();
    m_thread.join();
  }

 private:
  QPointer<Receiver> m_receiver;
  std::jthread m_thread;
};

// Long work (a site build, a batch run) on a worker thread, so the window that
// started it keeps repainting and its stop button stays clickable.
//
// The job reads `stop` at its progress steps; RequestStop only sets it, as
// the stop command of the windows is meant to. Reports the job makes from its
// thread arrive as signals on the thread the BackgroundJob lives on.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <string_view>
#include <thread>

#include "support/status.h"

namespace tessarine::app {

class BackgroundJob : public QObject {
  Q_OBJECT

 public:
  using Job = std::function<support::Status(const std::atomic<bool>& stop)>;

  explicit BackgroundJob(QObject* parent = nullptr);
  // Asks a running job to stop and waits for it: a window never goes away
  // under its worker.
  ~BackgroundJob() override;

  // Starts `job` on a new thread. The stop flag is cleared first. Ignored
  // while a job runs.
  void Start(Job job);
  // Sets the stop flag; the job ends at its next progress step.
  void RequestStop() { stop_.store(true); }
  bool IsRunning() const { return running_; }

  // Called from the job's thread: forwarded as signals.
  void ReportValue(double value);
  void ReportState(const QString& state);

 signals:
  void ValueChanged(double value);
  void StateChanged(const QString& state);
  // The job's result: ok, or the message of its failure.
  void Finished(bool ok, const QString& message);

 private:
  void JoinWorker();

  std::atomic<bool> stop_{false};
  std::thread worker_;
  bool running_ = false;  // touched on the owner's thread only
};

// A run's progress interface (SetValue, SetState) that forwards every call
// from the worker to the job's signals: ForwardedProgress<site::BuildProgress,
// int>, ForwardedProgress<batch::BatchProgress, double>.
template <typename Progress, typename Value>
class ForwardedProgress final : public Progress {
 public:
  explicit ForwardedProgress(BackgroundJob& job) : job_(job) {}
  void SetValue(Value value) override { job_.ReportValue(value); }
  void SetState(std::string_view state) override {
    job_.ReportState(QString::fromUtf8(state.data(), static_cast<qsizetype>(state.size())));
  }

 private:
  BackgroundJob& job_;
};

}  // namespace tessarine::app

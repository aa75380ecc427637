#include "app/background_job.h"

#include <QMetaObject>

#include "dialogs/widgets.h"

namespace tessarine::app {

BackgroundJob::BackgroundJob(QObject* parent) : QObject(parent) {}

BackgroundJob::~BackgroundJob() {
  stop_.store(true);
  JoinWorker();
}

void BackgroundJob::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

void BackgroundJob::Start(Job job) {
  if (running_) return;
  JoinWorker();  // a finished worker whose end was not yet handled
  stop_.store(false);
  running_ = true;
  worker_ = std::thread([this, job = std::move(job)] {
    support::Status status =
        support::Status::Error(support::StatusCode::kInternal, "internal error");
    try {
      status = job(stop_);
    } catch (const std::exception& error) {
      status = support::Status::Error(support::StatusCode::kInternal, error.what());
    }
    const bool ok = status.ok();
    const QString message = dialogs::Qs(status.message());
    // Queued: runs on the owner's thread, and not at all once the owner is
    // gone (its destructor joins this thread first).
    QMetaObject::invokeMethod(
        this,
        [this, ok, message] {
          JoinWorker();
          running_ = false;
          emit Finished(ok, message);
        },
        Qt::QueuedConnection);
  });
}

void BackgroundJob::ReportValue(double value) {
  QMetaObject::invokeMethod(
      this, [this, value] { emit ValueChanged(value); }, Qt::QueuedConnection);
}

void BackgroundJob::ReportState(const QString& state) {
  QMetaObject::invokeMethod(
      this, [this, state] { emit StateChanged(state); }, Qt::QueuedConnection);
}

}  // namespace tessarine::app

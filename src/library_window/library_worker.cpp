#include "library_window/library_worker.h"

#include <utility>

namespace quillon {

LibraryWorker::LibraryWorker(Post post) : post_(std::move(post)) {
  thread_ = std::thread([this] { Loop(); });
}

LibraryWorker::~LibraryWorker() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
    jobs_.clear();
  }
  cancel_ = true;
  wake_.notify_all();
  thread_.join();
}

void LibraryWorker::Run(Job job) {
  ++pending_;
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
  }
  wake_.notify_all();
}

void LibraryWorker::Loop() {
  // The connection belongs to this thread: made, used and closed here.
  LibraryDatabase db;
  for (;;) {
    Job job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return quit_ || !jobs_.empty(); });
      if (quit_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
      // A cancel raised before this job was taken is for the job before it.
      cancel_ = false;
    }
    Continuation done = job(db);
    post_([this, done = std::move(done)] {
      --pending_;
      if (done) done();
    });
  }
}

}  // namespace quillon

// The library window's database thread: every use of the library's database (opening it,
// reading all rows, folders, scans) runs here, one job after another, so the window never waits
// on SQLite, on a scan or on another process that holds the database.
//
// Threads: the worker thread owns its LibraryDatabase (opened, used and closed there). A job
// returns a continuation; `post` hands it to the UI thread (the window queues it on its event
// loop), which is the only place the window's state changes. The destructor raises the cancel
// flag, drops the jobs not started and waits for the running one.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "library/library.h"

namespace quillon {

class LibraryWorker {
 public:
  using Continuation = std::function<void()>;
  using Job = std::function<Continuation(LibraryDatabase&)>;
  using Post = std::function<void(Continuation)>;

  explicit LibraryWorker(Post post);
  ~LibraryWorker();
  LibraryWorker(const LibraryWorker&) = delete;
  LibraryWorker& operator=(const LibraryWorker&) = delete;

  // Queues `job`; its continuation (may be empty) runs on the UI thread through `post`.
  void Run(Job job);
  // Jobs queued or running whose continuation has not run yet (UI thread).
  int Pending() const { return pending_; }
  // The flag a scan watches; lowered again when the next job starts.
  const std::atomic<bool>& cancel_flag() const { return cancel_; }
  void Cancel() { cancel_ = true; }

 private:
  void Loop();

  Post post_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  bool quit_ = false;
  std::atomic<bool> cancel_{false};
  int pending_ = 0;
  std::thread thread_;
};

}  // namespace quillon

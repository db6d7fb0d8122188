// MoviePlayer: one decoding thread per player, driven from the UI thread.
//
// Who owns what: the thread alone owns the MovieDecoder and does all opening, decoding and
// scaling, with no lock held. Shared (under `mutex`) are only the bound path, the target time
// the UI last asked for, the parked flag and a short queue of scaled frames in time order. The
// UI thread's Show stores the target, takes the frame due out of the queue and copies it
// outside the lock; it never waits for the decoder. The thread sleeps on the condition
// variable whenever it has nothing to do: parked, unbound, failed, at the end, or with a full
// queue of frames not yet due.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <deque>
#include <limits>
#include <vector>

#include "video/movie.h"

namespace quillon {
namespace {

// Scaled frames kept ready ahead of the clock.
constexpr size_t kQueueFrames = 4;
// A target further than this past the decoder's frame makes the thread seek.
constexpr double kFarAheadMs = 1000.0;
constexpr double kMinusInfinity = -std::numeric_limits<double>::infinity();

struct Frame {
  QImage image;
  double start = 0.0;  // the frame's own time: two frames are the same when their times are
  double due = 0.0;    // the first frame is due at every time before its own
};

}  // namespace

struct MoviePlayer::Shared {
  std::mutex mutex;
  std::condition_variable wake;
  std::atomic<bool> stop{false};
  // A new binding or the player's end: the thread drops what it decodes.
  std::atomic<bool> interrupt{false};

  std::string path;
  uint64_t binding = 0;  // counts Binds of a new path
  double target = kMinusInfinity;
  bool parked = true;
  std::deque<Frame> queue;
  std::vector<QImage> spare;  // scaled frames' images, for reuse
  bool have_taken = false;
  double taken_start = 0.0, taken_due = 0.0;

  void Recycle(QImage&& image) {
    if (spare.size() < kQueueFrames + 1) spare.push_back(std::move(image));
  }
  void ClearQueue() {
    for (Frame& frame : queue)
      Recycle(std::move(frame.image));
    queue.clear();
  }

  enum class Action { None, Draw, Seek, CatchUp, Step };

  // What the thread does next: seek for a target before the frames it has (queued or shown)
  // or far past its decoder's frame; decode without scaling up to the frame due when that is
  // past the decoder's frame; draw the decoder's frame when none is drawn yet; decode the next
  // frame while the queue has room.
  Action Next(const MovieDecoder& decoder, bool drawn) const {
    if (target == kMinusInfinity) return Action::None;
    double oldest = decoder.IsFirstFrame() ? kMinusInfinity : decoder.FrameStartMs();
    if (!queue.empty()) oldest = std::min(oldest, queue.front().due);
    if (have_taken) oldest = std::min(oldest, taken_due);
    if (target < oldest) return Action::Seek;
    if (decoder.AtEnd()) return drawn ? Action::None : Action::Draw;
    if (target > decoder.FrameStartMs() + kFarAheadMs) return Action::Seek;
    if (decoder.FrameEndMs() <= target) return Action::CatchUp;
    if (!drawn) return Action::Draw;
    return queue.size() < kQueueFrames ? Action::Step : Action::None;
  }
};

MoviePlayer::MoviePlayer() : shared_(std::make_shared<Shared>()) {}

MoviePlayer::~MoviePlayer() {
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stop = true;
    shared_->interrupt = true;
  }
  shared_->wake.notify_all();
  if (thread_.joinable()) thread_.join();
}

void MoviePlayer::Bind(const std::string& path) {
  {
    std::lock_guard lock(shared_->mutex);
    if (path == shared_->path) return;
    shared_->path = path;
    ++shared_->binding;
    shared_->interrupt = true;
    shared_->ClearQueue();
    shared_->have_taken = false;
    shared_->target = kMinusInfinity;
  }
  if (!thread_.joinable() && !path.empty()) {
    Shared* shared = shared_.get();
    thread_ = std::thread([shared] { Run(*shared); });
  }
  shared_->wake.notify_one();
}

bool MoviePlayer::Show(double ms, QImage& target) {
  if (std::isnan(ms)) return false;
  Frame taken;
  bool same = false;
  {
    std::lock_guard lock(shared_->mutex);
    Shared& s = *shared_;
    s.target = ms;
    s.parked = false;
    // The newest queued frame due at `ms`; the ones before it will never be shown.
    size_t due = s.queue.size();
    for (size_t i = 0; i < s.queue.size() && s.queue[i].due <= ms; ++i)
      due = i;
    if (due < s.queue.size()) {
      for (size_t i = 0; i < due; ++i)
        s.Recycle(std::move(s.queue[i].image));
      taken = std::move(s.queue[due]);
      s.queue.erase(s.queue.begin(), s.queue.begin() + static_cast<std::ptrdiff_t>(due) + 1);
      same = s.have_taken && taken.start == s.taken_start;
      s.have_taken = true;
      s.taken_start = taken.start;
      s.taken_due = taken.due;
    }
  }
  shared_->wake.notify_one();
  if (taken.image.isNull()) return false;
  if (!same) {
    if (target.size() != taken.image.size() || target.format() != taken.image.format())
      target = QImage(taken.image.size(), taken.image.format());
    std::memcpy(target.bits(), taken.image.constBits(), static_cast<size_t>(target.sizeInBytes()));
  }
  std::lock_guard lock(shared_->mutex);
  shared_->Recycle(std::move(taken.image));
  return !same;
}

void MoviePlayer::Park() {
  std::lock_guard lock(shared_->mutex);
  shared_->parked = true;
}

void MoviePlayer::Run(Shared& shared) {
  auto decoder = std::make_unique<MovieDecoder>();
  uint64_t binding = 0;
  bool usable = false;  // the bound movie opened
  double pushed_start = std::numeric_limits<double>::quiet_NaN();
  std::unique_lock lock(shared.mutex);
  while (!shared.stop) {
    if (shared.binding != binding) {
      binding = shared.binding;
      const std::string path = shared.path;
      shared.interrupt = false;
      lock.unlock();
      std::string error;
      decoder = std::make_unique<MovieDecoder>();  // closes the movie bound before
      decoder->SetCancel(&shared.interrupt);
      usable = !path.empty() && decoder->Open(path, error);
      pushed_start = std::numeric_limits<double>::quiet_NaN();
      lock.lock();
      continue;
    }
    const double target = shared.target;
    using Action = Shared::Action;
    const Action action =
        usable && !shared.parked ? shared.Next(*decoder, !std::isnan(pushed_start)) : Action::None;
    if (action == Action::None) {
      shared.wake.wait(lock);
      continue;
    }
    QImage image;
    if (!shared.spare.empty()) {
      image = std::move(shared.spare.back());
      shared.spare.pop_back();
    }
    lock.unlock();
    bool fresh = false;  // the frame goes in front of nothing: the queue starts again with it
    if (action == Action::Step) {
      decoder->Step();
    } else if (action != Action::Draw) {
      decoder->DecodeTo(target);
      fresh = true;
    }
    const bool changed = decoder->FrameStartMs() != pushed_start;
    if (changed) decoder->Draw(image);
    lock.lock();
    if (shared.binding != binding) continue;  // drawn for a movie no longer bound
    if (!changed) {
      shared.Recycle(std::move(image));
      // Decoding reached no new frame (a damaged stretch): wait for a new target.
      if (action != Action::Step && !shared.stop) shared.wake.wait(lock);
      continue;
    }
    if (fresh) shared.ClearQueue();
    pushed_start = decoder->FrameStartMs();
    shared.queue.push_back(
        {std::move(image), pushed_start, decoder->IsFirstFrame() ? kMinusInfinity : pushed_start});
  }
}

}  // namespace quillon

#include "platform/queued_wave_in.h"

#include <algorithm>

namespace kws {

QueuedWaveIn::~QueuedWaveIn() { halt_thread(); }

bool QueuedWaveIn::open(AutoResetEvent& buffer_done) {
  std::string failure;
  {
    std::lock_guard lock(mutex_);
    if (open_) {
      error_ = "the device is already open";
      return false;
    }
  }
  if (!open_source(failure)) {
    std::lock_guard lock(mutex_);
    error_ = failure;
    return false;
  }
  std::lock_guard lock(mutex_);
  buffer_done_ = &buffer_done;
  queued_.clear();
  returned_.clear();
  notice_pending_ = false;
  open_ = true;
  ended_ = source_exhausted();
  error_.clear();
  return true;
}

void QueuedWaveIn::add_buffer(WaveBuffer& buffer) {
  std::lock_guard lock(mutex_);
  if (!open_) return;
  buffer.recorded_bytes = 0;
  queued_.push_back(&buffer);
  wake_.notify_all();
}

void QueuedWaveIn::start() {
  std::string failure;
  {
    std::lock_guard lock(mutex_);
    if (!open_ || thread_.joinable()) return;
  }
  const bool started = start_source(failure);
  std::lock_guard lock(mutex_);
  if (!started) {
    // The queued buffers still come back, empty, from the device thread.
    error_ = failure;
    ended_ = true;
  }
  halting_ = false;
  thread_ = std::thread([this] { run(); });
}

void QueuedWaveIn::return_buffer(WaveBuffer& buffer) {
  returned_.push_back(&buffer);
  if (!notice_pending_) {
    notice_pending_ = true;
    buffer_done_->set();
  }
}

void QueuedWaveIn::run() {
  const auto started = std::chrono::steady_clock::now();
  std::int64_t delivered = 0;
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return halting_ || !queued_.empty(); });
    if (halting_) return;
    WaveBuffer& buffer = *queued_.front();
    int got = 0;
    if (!ended_) {
      // The buffer is the device's while queued; only this thread writes it.
      std::string failure;
      lock.unlock();
      got = read_source(buffer.samples, failure);
      lock.lock();
      if (got < kWaveBufferSamples) {
        ended_ = true;
        if (!failure.empty()) error_ = failure;
      }
      if (real_time_ && got > 0) {
        const auto due = started + std::chrono::milliseconds(100 * (delivered + 1));
        wake_.wait_until(lock, due, [this] { return halting_; });
      }
    }
    if (halting_) {
      // A reset returns this buffer with the others.
      return;
    }
    queued_.pop_front();
    buffer.recorded_bytes = 2 * got;
    buffer.position = position_;
    position_ += got;
    ++delivered;
    return_buffer(buffer);
  }
}

void QueuedWaveIn::halt_thread() {
  {
    std::lock_guard lock(mutex_);
    halting_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  halting_ = false;
}

void QueuedWaveIn::take_back(WaveBuffer& buffer) {
  std::lock_guard lock(mutex_);
  if (const auto found = std::find(returned_.begin(), returned_.end(), &buffer); found != returned_.end()) {
    returned_.erase(found);
    notice_pending_ = false;
    if (!returned_.empty() && open_) {
      notice_pending_ = true;
      buffer_done_->set();
    }
    return;
  }
  // A buffer the device still holds is simply withdrawn.
  std::erase(queued_, &buffer);
}

int QueuedWaveIn::reset() {
  {
    std::lock_guard lock(mutex_);
    if (!open_) return kResetInvalidHandle;
  }
  halt_thread();
  stop_source();
  std::lock_guard lock(mutex_);
  while (!queued_.empty()) {
    WaveBuffer& buffer = *queued_.front();
    queued_.pop_front();
    buffer.recorded_bytes = 0;
    return_buffer(buffer);
  }
  return 0;
}

void QueuedWaveIn::stop() {
  {
    std::lock_guard lock(mutex_);
    if (!open_) return;
  }
  halt_thread();
  stop_source();
}

void QueuedWaveIn::close() {
  {
    std::lock_guard lock(mutex_);
    if (!open_) return;
  }
  halt_thread();
  stop_source();
  close_source();
  std::lock_guard lock(mutex_);
  queued_.clear();
  returned_.clear();
  open_ = false;
  buffer_done_ = nullptr;
}

bool QueuedWaveIn::ended() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

std::string QueuedWaveIn::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

}  // namespace kws

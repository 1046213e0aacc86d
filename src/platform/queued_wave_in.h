// The queued-buffer model shared by the input back-ends: a device thread
// takes the oldest queued buffer, fills it from the source and returns it
// with a notice. A back-end supplies only the source.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/wave_device.h"

namespace kws {

class QueuedWaveIn : public WaveIn {
 public:
  ~QueuedWaveIn() override;

  bool open(AutoResetEvent& buffer_done) final;
  void add_buffer(WaveBuffer& buffer) final;
  void start() final;
  void take_back(WaveBuffer& buffer) final;
  int reset() final;
  void stop() final;
  void close() final;
  bool ended() const final;
  std::string error() const final;

 protected:
  // real_time: deliver buffer k of a run no earlier than (k + 1) x 100 ms
  // after start, for sources that are not paced by hardware.
  explicit QueuedWaveIn(bool real_time) : real_time_(real_time) {}

  // Called with the device closed; false with the reason on failure.
  virtual bool open_source(std::string& error) = 0;
  virtual bool start_source(std::string& /*error*/) { return true; }
  // Fills block on the device thread; the number of samples it got. Fewer
  // than a whole block means the source has ended (error set if it failed);
  // the rest of the block is then zero.
  virtual int read_source(std::span<std::int16_t, kWaveBufferSamples> block, std::string& error) = 0;
  virtual void stop_source() {}
  virtual void close_source() {}
  // Whether the source has nothing left to give when the device opens.
  virtual bool source_exhausted() const { return false; }

  // Subclasses must call this from their destructor, so that the device
  // thread stops before the source it reads is gone.
  void shut_down() { close(); }

 private:
  void run();
  void halt_thread();
  void return_buffer(WaveBuffer& buffer);  // with the mutex held

  const bool real_time_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  AutoResetEvent* buffer_done_ = nullptr;
  std::deque<WaveBuffer*> queued_;
  std::deque<WaveBuffer*> returned_;  // not yet taken back
  bool notice_pending_ = false;       // a notice the caller has not answered with take_back
  bool open_ = false;
  bool halting_ = false;
  bool ended_ = false;
  std::string error_;
  std::int64_t position_ = 0;
  std::thread thread_;
};

}  // namespace kws

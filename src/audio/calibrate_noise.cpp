#include <algorithm>
#include <thread>

#include "audio/noise_calibration.h"
#include "platform/auto_reset_event.h"
#include "platform/message_sink.h"
#include "platform/wave_device.h"

namespace kws {
namespace {

// One measurement into the calibration buffer; whether it got a whole buffer.
bool record_measurement(WaveIn& device, NoiseCalibration& calibration) {
  message_sink().device_console("waveInGetDevCaps NO_ERROR\n");
  if (!device.can_record()) return false;
  AutoResetEvent buffer_done;
  if (!device.open(buffer_done)) {
    message_sink().device_console("\nFail to open waveform input device\n");
    return false;
  }
  message_sink().device_console(" waveInOpen NO_ERROR\n");
  WaveBuffer buffer;
  device.add_buffer(buffer);
  device.start();
  buffer_done.wait();
  device.take_back(buffer);
  const std::size_t recorded = static_cast<std::size_t>(std::clamp(buffer.recorded_bytes, 0, kWaveBufferBytes) / 2);
  std::copy_n(buffer.samples.begin(), recorded, calibration.buffer.begin());

  const int reset = device.reset();
  message_sink().device_console(reset == kResetInvalidHandle ? " ERROR\n" : format_text("  x=%d\n", reset));
  device.stop();
  device.close();
  return buffer.recorded_bytes == kWaveBufferBytes;
}

}  // namespace

bool calibrate_noise(WaveIn& device, NoiseCalibration& calibration, const std::function<void(int)>& level_bar,
                     const std::function<void()>& after_measurement) {
  bool kept_all = true;
  for (int measurement = 0; measurement < kCalibrationMeasurements; ++measurement) {
    calibration.measurement = measurement;
    bool heard = false;
    AutoResetEvent measurement_done;
    std::thread capture([&] {
      heard = record_measurement(device, calibration);
      measurement_done.set();
    });
    measurement_done.wait();
    capture.join();
    if (after_measurement) after_measurement();

    const bool decides = measurement >= kCalibrationMeasurements - kCalibrationKeptMeasurements;
    if (decides && !heard) kept_all = false;
    if (!heard || (measurement == kCalibrationMeasurements - 1 && !kept_all)) continue;
    analyse_noise_buffer(calibration, measurement);
    if (level_bar) {
      level_bar(static_cast<int>(
          calibration.measurements[static_cast<std::size_t>(measurement % kCalibrationKeptMeasurements)].level));
    }
  }
  if (!kept_all) return false;
  set_detection_thresholds(calibration);
  return true;
}

}  // namespace kws

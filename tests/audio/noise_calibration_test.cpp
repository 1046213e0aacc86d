#include "audio/noise_calibration.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "platform/wave_device.h"
#include "support/capturing_sink.h"

namespace kws {
namespace {

// Runs a whole calibration on a recording of the ten buffers made by
// make_buffer(measurement), played as the microphone.
template <typename MakeBuffer>
void calibrate(NoiseCalibration& calibration, MakeBuffer make_buffer) {
  std::vector<std::int16_t> recording;
  for (int measurement = 0; measurement < kCalibrationMeasurements; ++measurement) {
    const auto buffer = make_buffer(measurement);
    recording.insert(recording.end(), buffer.begin(), buffer.end());
  }
  testing::CapturingSink sink;
  std::vector<int> levels;
  EXPECT_TRUE(calibrate_noise(*make_sample_wave_in(recording, false), calibration,
                              [&levels](int level) { levels.push_back(level); }));
  EXPECT_EQ(levels.size(), 10u);
  // Each measurement opens, resets and closes the device.
  ASSERT_EQ(sink.lines.size(), 30u);
  EXPECT_EQ(sink.lines[0], "waveInGetDevCaps NO_ERROR\n");
  EXPECT_EQ(sink.lines[1], " waveInOpen NO_ERROR\n");
  EXPECT_EQ(sink.lines[2], "  x=0\n");
}

using Buffer = std::array<std::int16_t, kCalibrationBufferSamples>;

Buffer constant(std::int16_t value) {
  Buffer buffer;
  buffer.fill(value);
  return buffer;
}

TEST(NoiseCalibration, DigitalSilenceGivesZeroThresholdsAndASteadyToneNoSpread) {
  NoiseCalibration calibration;
  calibrate(calibration, [](int) { return constant(0); });
  EXPECT_EQ(calibration.noise_level, 0.0f);
  EXPECT_EQ(calibration.working.start, 0.0f);
  EXPECT_EQ(calibration.working.silence, 0.0f);
  EXPECT_EQ(calibration.trim_high_threshold, 0);
  EXPECT_EQ(calibration.trim_low_threshold, 0);

  // 200 Hz: each 80-sample window holds one whole period, so the window
  // energies hold steady after the first window's ramp, and the thresholds
  // are nearly 35 and 12 times their mean.
  NoiseCalibration tone;
  calibrate(tone, [](int) {
    Buffer buffer;
    for (int i = 0; i < kCalibrationBufferSamples; ++i) {
      buffer[i] = static_cast<std::int16_t>(std::lround(1000.0 * std::sin(2.0 * std::numbers::pi * i / 80.0)));
    }
    return buffer;
  });
  EXPECT_GT(tone.trim_low_threshold, 0);
  EXPECT_NEAR(static_cast<double>(tone.trim_high_threshold) / tone.trim_low_threshold, 35.0 / 12.0, 0.1);
  EXPECT_GT(tone.working.start, 0.0f);
}

TEST(NoiseCalibration, ConstantLevelHasNoSpread) {
  // |x| = 100 everywhere: windows fill up over the first 80 samples, then hold 8000.
  const NoiseMeasurement measurement = measure_noise(constant(100));
  double mean = 0.0;
  for (int i = 0; i < kCalibrationBufferSamples; ++i) mean += 100.0 * std::min(i + 1, kEnergyWindowSamples);
  mean /= kCalibrationBufferSamples;
  // Only the ramp of the first window spreads the energies.
  EXPECT_NEAR(measurement.trim_high_threshold, 35.0 * mean, 5.0 * 1000.0);
  EXPECT_GE(measurement.trim_high_threshold, static_cast<int>(35.0 * mean));
  EXPECT_EQ(measurement.level, 100.0f * 0.000625f);  // only |x[0]|: the steps are all 0
}

TEST(NoiseCalibration, OnlyTheLastFiveMeasurementsCount) {
  NoiseCalibration loud_start;
  calibrate(loud_start, [](int measurement) { return constant(measurement < 5 ? 3000 : 10); });
  NoiseCalibration quiet;
  calibrate(quiet, [](int) { return constant(10); });
  EXPECT_EQ(loud_start.noise_level, quiet.noise_level);
  EXPECT_EQ(loud_start.trim_high_threshold, quiet.trim_high_threshold);
  EXPECT_EQ(loud_start.trim_low_threshold, quiet.trim_low_threshold);
  EXPECT_EQ(quiet.stored.start, 6.0f * quiet.noise_level);
  EXPECT_EQ(quiet.stored.silence, 12.0f * quiet.noise_level);
}

TEST(NoiseCalibration, MeasurementsWithoutAudioReleaseTheWaiterAndChangeNothing) {
  NoiseCalibration calibration;
  calibration.noise_level = 7.0f;
  calibration.trim_high_threshold = 11;
  calibration.stored.start = 42.0f;
  testing::CapturingSink sink;
  // Seven buffers of audio: the last three measurements, which decide, get none.
  EXPECT_FALSE(calibrate_noise(*make_sample_wave_in(std::vector<std::int16_t>(7 * 1600, 100), false), calibration));
  EXPECT_FALSE(calibrate_noise(*make_null_wave_in(), calibration));
  EXPECT_EQ(calibration.noise_level, 7.0f);
  EXPECT_EQ(calibration.trim_high_threshold, 11);
  EXPECT_EQ(calibration.stored.start, 42.0f);
  EXPECT_EQ(std::count(sink.lines.begin(), sink.lines.end(), "\nFail to open waveform input device\n"), 10);
}

TEST(NoiseCalibration, LoudInputSaturatesInsteadOfWrapping) {
  Buffer buffer;
  for (int i = 0; i < kCalibrationBufferSamples; ++i) buffer[i] = (i / 100) % 2 == 0 ? 32767 : 0;
  const NoiseMeasurement measurement = measure_noise(buffer);
  EXPECT_GT(measurement.trim_high_threshold, 0);
  EXPECT_GT(measurement.trim_low_threshold, 0);
}

TEST(NoiseCalibration, StoredRecordingsUseTheirFiveQuietestStretches) {
  // Ten stretches: five quiet ones (level 10) between five loud ones.
  std::vector<std::int16_t> recording;
  for (int stretch = 0; stretch < 10; ++stretch) {
    const Buffer buffer = constant(stretch % 2 == 0 ? 4000 : 10);
    recording.insert(recording.end(), buffer.begin(), buffer.end());
  }
  recording.resize(recording.size() + 700, 5000);  // a partial stretch does not count
  const TrimThresholds from_recording = trimming_thresholds_from_recording(recording);
  const NoiseMeasurement quiet = measure_noise(constant(10));
  EXPECT_EQ(from_recording.high, quiet.trim_high_threshold);
  EXPECT_EQ(from_recording.low, quiet.trim_low_threshold);

  const TrimThresholds too_short = trimming_thresholds_from_recording(std::vector<std::int16_t>(1599, 100));
  EXPECT_EQ(too_short.high, 0);
  EXPECT_EQ(too_short.low, 0);
}

}  // namespace
}  // namespace kws

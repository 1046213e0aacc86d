// Background-noise calibration: ten 100 ms measurements of the silent room,
// of which the last five set the endpoint detector's thresholds and the
// window-energy thresholds that trim an utterance to its speech.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

#include "engine/engine_values.h"

namespace kws {

class WaveIn;

inline constexpr int kCalibrationBufferSamples = 1600;  // 100 ms
inline constexpr int kCalibrationMeasurements = 10;
inline constexpr int kCalibrationKeptMeasurements = 5;
inline constexpr int kEnergyWindowSamples = 80;  // 5 ms, shared with utterance trimming

// Statistics of one measurement.
struct NoiseMeasurement {
  float level = 0.0f;                    // mean absolute step between neighbouring samples
  std::int32_t trim_high_threshold = 0;  // 35 m + 5 s of the window energies
  std::int32_t trim_low_threshold = 0;   // 12 m + 5/3 s
};

// The endpoint detector's two thresholds, in level units: a buffer louder
// than start begins an utterance, one quieter than silence counts toward its end.
struct DetectorThresholds {
  std::atomic<float> start{0.0f};
  std::atomic<float> silence{0.0f};

  void copy_from(const DetectorThresholds& other) {
    start.store(other.start.load(std::memory_order_relaxed), std::memory_order_relaxed);
    silence.store(other.silence.load(std::memory_order_relaxed), std::memory_order_relaxed);
  }
};

struct NoiseCalibration {
  std::array<std::int16_t, kCalibrationBufferSamples> buffer{};  // the latest measurement's audio
  std::int32_t measurement = 0;
  std::array<NoiseMeasurement, kCalibrationKeptMeasurements> measurements{};
  float noise_level = 0.0f;
  // What the detector uses, and what the user may adjust (the sliders); the
  // detector takes the adjusted values when a capture ends. A calibration
  // sets both.
  DetectorThresholds working;
  DetectorThresholds stored;
  std::atomic<std::int32_t> trim_high_threshold{0};
  std::atomic<std::int32_t> trim_low_threshold{0};
};

// The statistics of one 100 ms buffer.
NoiseMeasurement measure_noise(std::span<const std::int16_t, kCalibrationBufferSamples> buffer);

// Analyses the calibration buffer as measurement number `measurement`
// (0..9); measurement 9 sets the noise level and the trimming thresholds
// from measurements 5..9.
void analyse_noise_buffer(NoiseCalibration& calibration, int measurement);

// Trimming thresholds for a stored recording, which has no silent room to
// listen to first: the averages, as a calibration forms them, over the five
// 100 ms stretches of the recording with the lowest level (all of its
// stretches when it has fewer than five). A recording shorter than 100 ms
// gets thresholds of 0.
TrimThresholds trimming_thresholds_from_recording(std::span<const std::int16_t> samples);

// Detector thresholds from the noise level, as calibration ends: start 6x,
// silence 12x, into both the working and the stored thresholds.
void set_detection_thresholds(NoiseCalibration& calibration);

// The whole calibration on the input device: ten measurements, each one
// 100 ms buffer recorded by a short-lived capture thread, each analysed as it
// arrives; then the detector thresholds. level_bar gets each measurement's
// level; after_measurement, if given, runs after each (the station redraws
// the measured audio). A measurement that gets no audio (the device cannot
// record the format, cannot be opened, returns a short buffer) is not
// analysed, and if one of the five that decide gets none, every result stays
// as it was. Returns whether the results were set.
bool calibrate_noise(WaveIn& device, NoiseCalibration& calibration, const std::function<void(int)>& level_bar = {},
                     const std::function<void()>& after_measurement = {});

}  // namespace kws

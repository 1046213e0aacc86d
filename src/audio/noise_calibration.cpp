#include "audio/noise_calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace kws {
namespace {

// Squares beyond 32 bits (very loud calibration input) saturate rather than wrap.
std::int64_t truncated_square(double deviation) {
  const double square = std::trunc(deviation * deviation);
  return square > std::numeric_limits<std::int32_t>::max() ? std::numeric_limits<std::int32_t>::max()
                                                           : static_cast<std::int64_t>(square);
}

}  // namespace

NoiseMeasurement measure_noise(std::span<const std::int16_t, kCalibrationBufferSamples> x) {
  NoiseMeasurement result;

  // Level: the step between neighbouring samples, taken at every fifth
  // sample, summed in single precision.
  float steps = static_cast<float>(std::abs(x[0]));
  for (int i = 5; i < kCalibrationBufferSamples; i += 5) steps += static_cast<float>(std::abs(x[i] - x[i - 1]));
  result.level = steps * 0.000625f;

  std::array<std::int32_t, kCalibrationBufferSamples> energy{};
  std::int32_t window = 0;
  for (int i = 0; i < kCalibrationBufferSamples; ++i) {
    window += std::abs(x[i]);
    if (i >= kEnergyWindowSamples) window -= std::abs(x[i - kEnergyWindowSamples]);
    energy[i] = window;
  }
  std::int64_t energy_sum = 0;
  for (const std::int32_t e : energy) energy_sum += e;
  const double mean = static_cast<double>(energy_sum) * 0.000625;

  std::int64_t spread_sum = 0;
  for (const std::int32_t e : energy) spread_sum += truncated_square(e - mean);
  // The spread divides by twice the buffer length, as the station always has.
  const double spread = std::sqrt(static_cast<double>(spread_sum) * 0.0003125);

  result.trim_high_threshold = static_cast<std::int32_t>(35.0 * mean + 5.0 * spread);
  result.trim_low_threshold = static_cast<std::int32_t>(12.0 * mean + (5.0 / 3.0) * spread);
  return result;
}

void analyse_noise_buffer(NoiseCalibration& calibration, int measurement) {
  const std::size_t row = static_cast<std::size_t>(measurement % kCalibrationKeptMeasurements);
  calibration.measurements[row] = measure_noise(calibration.buffer);
  if (measurement != kCalibrationMeasurements - 1) return;

  float level_sum = 0.0f;
  std::int64_t high_sum = 0;
  std::int64_t low_sum = 0;
  for (const NoiseMeasurement& kept : calibration.measurements) {
    level_sum += kept.level;
    high_sum += kept.trim_high_threshold;
    low_sum += kept.trim_low_threshold;
  }
  calibration.noise_level = 0.2f * level_sum;
  calibration.trim_high_threshold = static_cast<std::int32_t>(high_sum / kCalibrationKeptMeasurements);
  calibration.trim_low_threshold = static_cast<std::int32_t>(low_sum / kCalibrationKeptMeasurements);
}

TrimThresholds trimming_thresholds_from_recording(std::span<const std::int16_t> samples) {
  std::vector<NoiseMeasurement> stretches;
  for (std::size_t start = 0; start + kCalibrationBufferSamples <= samples.size(); start += kCalibrationBufferSamples) {
    stretches.push_back(measure_noise(samples.subspan(start).first<kCalibrationBufferSamples>()));
  }
  if (stretches.empty()) return {};
  // Stable, so equal levels keep the earlier stretch: the result does not
  // depend on the sort's implementation.
  std::stable_sort(stretches.begin(), stretches.end(),
                   [](const NoiseMeasurement& a, const NoiseMeasurement& b) { return a.level < b.level; });
  const std::size_t kept = std::min<std::size_t>(stretches.size(), kCalibrationKeptMeasurements);
  std::int64_t high_sum = 0;
  std::int64_t low_sum = 0;
  for (std::size_t i = 0; i < kept; ++i) {
    high_sum += stretches[i].trim_high_threshold;
    low_sum += stretches[i].trim_low_threshold;
  }
  return {static_cast<std::int32_t>(high_sum / static_cast<std::int64_t>(kept)),
          static_cast<std::int32_t>(low_sum / static_cast<std::int64_t>(kept))};
}

void set_detection_thresholds(NoiseCalibration& calibration) {
  calibration.stored.start = 6.0f * calibration.noise_level;
  calibration.stored.silence = 12.0f * calibration.noise_level;
  calibration.working.copy_from(calibration.stored);
}

}  // namespace kws

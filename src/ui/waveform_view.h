// The waveform area of the main dialog: during calibration the latest 100 ms
// of room noise, after a recognition the whole utterance with marks at its
// trimmed start and end, its duration and the pass's three processing times.
#pragma once

#include <QFrame>
#include <cstdint>
#include <vector>

#include "engine/engine_values.h"

namespace kws {

// The recognition-mode flag: what the station is doing, and so what the area shows.
inline constexpr int kModeIdle = -1;
inline constexpr int kModeCalibrating = 0;
inline constexpr int kModeRecognising = 1;

class WaveformView final : public QFrame {
  Q_OBJECT

 public:
  explicit WaveformView(QWidget* parent = nullptr);

  void set_mode(int mode);
  // The latest calibration measurement.
  void set_calibration_buffer(std::vector<std::int16_t> samples);
  // The utterance of the last pass: its samples, trimmed span and times.
  void set_utterance(std::vector<std::int16_t> samples, std::int32_t trimmed_start, std::int32_t trimmed_end,
                     const PassTimes& times);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int mode_ = kModeIdle;
  std::vector<std::int16_t> calibration_;
  std::vector<std::int16_t> utterance_;
  std::int32_t trimmed_start_ = 0;
  std::int32_t trimmed_end_ = 0;
  PassTimes times_;
};

}  // namespace kws

// "Adapt to my voice": the user reads the enrolment prompts one at a time,
// each recorded with the station's endpoint detection and played back or
// redone at will; then the models are adapted to the recordings on a worker
// thread and written as a new data directory next to the original (never
// over it). Cancelling, at any point, leaves nothing behind.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "audio/noise_calibration.h"
#include "engine/engine.h"
#include "platform/wave_device.h"

namespace kws {

// One prompt: its number, its characters and its reading.
struct EnrolmentPrompt {
  std::string number;      // "01"
  std::string characters;  // UTF-8
  std::string zhuyin;      // UTF-8, syllables separated by blanks
};

// The prompts of data_directory/enrolment/prompts.txt; empty when there are none.
std::vector<EnrolmentPrompt> read_enrolment_prompts(const std::string& data_directory);

// Where the adapted copy of data_directory goes: beside it, "-adapted", then
// "-adapted-2" and on while a non-empty folder of that name exists.
std::string adapted_directory_for(const std::string& data_directory);

class EnrolmentDialog final : public QDialog {
  Q_OBJECT

 public:
  EnrolmentDialog(std::shared_ptr<const LoadedData> data, std::string data_directory, WaveIn& input, WaveOut& output,
                  NoiseCalibration& calibration, QWidget* parent = nullptr);
  ~EnrolmentDialog() override;

  // The adapted data directory once adaptation has succeeded, else empty.
  const std::string& adapted_directory() const { return adapted_directory_; }
  bool busy() const { return worker_.joinable(); }

 protected:
  void reject() override;

 private:
  void show_prompt();
  void record();
  void recorded(std::vector<std::int16_t> samples);
  void play();
  void adapt();
  void adapted(bool succeeded, const std::string& message);
  void progress(const QString& line);
  void join_worker();
  int recorded_count() const;

  std::shared_ptr<const LoadedData> data_;
  std::string data_directory_;
  WaveIn& input_;
  WaveOut& output_;
  NoiseCalibration& calibration_;
  std::vector<EnrolmentPrompt> prompts_;
  std::vector<std::vector<std::int16_t>> recordings_;
  int current_ = 0;
  QTemporaryDir recordings_folder_;
  std::string adapted_directory_;
  std::string output_directory_;
  std::atomic<bool> cancel_{false};
  std::atomic<std::int16_t> capture_toggle_{-1};
  std::thread worker_;
  int passes_done_ = 0;

  QLabel* number_ = nullptr;
  QLabel* characters_ = nullptr;
  QLabel* zhuyin_ = nullptr;
  QLabel* state_ = nullptr;
  QPushButton* record_ = nullptr;
  QPushButton* play_ = nullptr;
  QPushButton* previous_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* adapt_ = nullptr;
  QPushButton* cancel_button_ = nullptr;
  QProgressBar* progress_ = nullptr;
};

}  // namespace kws

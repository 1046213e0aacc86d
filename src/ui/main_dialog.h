// The station's one window: vocabulary choice, noise calibration, live
// keyword recognition with its level bar, waveform and result lists, the two
// detection thresholds, playback of a result, the vocabulary editor, and the
// maintenance batch buttons.
//
// Every control carries its dialog id as its object name. The window works
// on one loaded data directory; live recognition and the batch procedures run
// on worker threads, each pass in a workspace of its own, and reach the
// widgets only through blocking calls into the GUI thread. The GUI thread
// never waits for a worker: what a running loop must not have pulled from
// under it (the vocabulary box, the editor, the exit button, the thresholds
// menu) is disabled until the loop has ended.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "audio/live_recognition.h"
#include "audio/noise_calibration.h"
#include "engine/engine.h"
#include "platform/wave_device.h"
#include "ui/waveform_view.h"

namespace kws {

inline constexpr const char* kStationCaption = "中文關鍵詞辨識 -Ardmoor";

// How the station was started.
struct StationOptions {
  std::string audio_in;  // device SPECs (see platform/wave_device.h)
  std::string audio_out;
  bool maintenance = false;  // show and enable the batch buttons and the statistics list
  // Unattended runs (scripts, the window's own tests): a vocabulary chosen at
  // start, live recognition started at once, the window closed after so many
  // recognised utterances, a picture of it saved after each.
  std::string vocabulary;
  bool listen = false;
  int quit_after = 0;
  std::string screenshot;
  // Opens the vocabulary editor over the loaded data (menu 資料, 修改).
  std::function<void(const LoadedData&, QWidget*)> open_editor;
};

class MainDialog final : public QDialog {
  Q_OBJECT

 public:
  // Runs the start-up: the engine on the working directory, the noise
  // calibration, the controls. failed() tells whether the engine refused.
  explicit MainDialog(const StationOptions& options, QWidget* parent = nullptr);
  ~MainDialog() override;

  bool failed() const { return failed_; }
  // Whether a live loop or batch worker is running.
  bool busy() const { return worker_.joinable(); }

  // Starts the engine anew on another data directory (the station's working
  // directory becomes it), keeping the calibration and the chosen vocabulary.
  // False, with the old engine kept, when it cannot start there.
  bool restart_engine(const std::string& directory);
  const std::string& data_directory() const { return data_directory_; }

  // The decision threshold on a result's mean confidence (kept in the user's settings).
  double decision_threshold() const;
  void set_decision_threshold(double threshold);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void build_controls();
  void build_menus();
  void start_up(const StationOptions& options);

  void calibrate_noise_clicked();
  void vocabulary_chosen(const QString& name);
  void keyword_toggle_clicked();
  void large_vocabulary_toggle_clicked();
  void slider_moved(QSlider* slider, int position);
  void detail_double_clicked();
  void exit_clicked();
  void keyword_batch_clicked();
  void large_vocabulary_batch_clicked();
  void open_vocabulary_editor();
  void choose_decision_threshold();
  void adapt_to_voice();
  void use_shipped_models();

  // Worker side.
  void start_worker(std::function<void()> work);
  void run_on_gui(const std::function<void()>& call);
  void worker_finished();
  void show_status(const QString& text);
  void show_outcome(const RecognitionOutcome& outcome);
  void show_batch_lines(const KeywordBatchFileReport& report);
  void set_mode(int mode);
  void set_sliders_from_thresholds();
  void set_loop_controls_enabled(bool enabled);
  void save_screenshot();

  // The engine and the devices.
  std::shared_ptr<const LoadedData> data_;
  std::shared_ptr<const Vocabulary> vocabulary_;
  std::unique_ptr<WaveIn> input_;
  std::unique_ptr<WaveOut> output_;
  NoiseCalibration calibration_;
  std::unique_ptr<LiveRecognition> live_;
  std::string data_directory_;
  std::string shipped_directory_;  // the data directory the station started on
  QString current_vocabulary_;
  bool failed_ = false;
  StationOptions options_;

  std::atomic<int> level_{0};  // the capture thread's latest level, shown by a timer
  QTimer level_timer_;
  std::thread worker_;
  bool close_when_idle_ = false;
  int recognised_utterances_ = 0;
  RecognitionOutcome last_outcome_;
  std::vector<std::int16_t> last_samples_;

  QMenuBar* menu_bar_ = nullptr;
  QAction* editor_action_ = nullptr;
  QAction* threshold_action_ = nullptr;
  QAction* adapt_action_ = nullptr;
  QAction* shipped_action_ = nullptr;
  QPushButton* exit_button_ = nullptr;            // 1
  QComboBox* vocabulary_box_ = nullptr;           // 1000
  WaveformView* waveform_ = nullptr;              // 1002
  QPushButton* calibrate_button_ = nullptr;       // 1003
  QLabel* status_ = nullptr;                      // 1004
  QSlider* start_slider_ = nullptr;               // 1005
  QSlider* silence_slider_ = nullptr;             // 1006
  QProgressBar* level_bar_ = nullptr;             // 1007
  QListWidget* word_list_ = nullptr;              // 1009
  QListWidget* candidate_list_ = nullptr;         // 1010
  QPushButton* keyword_button_ = nullptr;         // 1011
  QListWidget* detail_list_ = nullptr;            // 1012
  QPushButton* large_batch_button_ = nullptr;     // 1013
  QPushButton* lookup_button_ = nullptr;          // 1014
  QPushButton* large_button_ = nullptr;           // 1015
  QPushButton* dialogue_button_ = nullptr;        // 1016
  QPushButton* keyword_lookup_button_ = nullptr;  // 1017
  QPushButton* keyword_batch_button_ = nullptr;   // 1018
  QListWidget* statistics_list_ = nullptr;        // 1019
  QPushButton* result_header_ = nullptr;          // 1020
};

}  // namespace kws

#include "ui/main_dialog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QInputDialog>
#include <QMenu>
#include <QSettings>
#include <QThread>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "audio/playback.h"
#include "audio/raw_dump_file.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"
#include "ui/about_box.h"
#include "ui/enrolment_dialog.h"
#include "ui/named_widget.h"
#include "ui/qt_message_sink.h"
#include "ui/station_icon.h"

namespace kws {
namespace {

// The vocabulary box's entries, in the station's order.
constexpr const char* kVocabularies[] = {"數字",     "408syl", "408syllable", "KTV排行榜", "銀行",
                                         "銀行(全)", "股票",   "人名",        "火車系統",  "火車系統1"};

constexpr int kLevelRange = 200;
constexpr int kSliderRange = 200;
constexpr int kLevelRefreshMilliseconds = 50;

const QString kStatusCalibrating = "測靜音中...";
const QString kStatusReloading = "重載字庫...";
const QString kKeywordButtonText = "關鍵詞彙辨識";
const QString kLargeButtonText = "大字彙辨識(non-align.)";
const QString kStopButtonText = "按鍵解除";

constexpr const char* kSettingsThreshold = "decision_threshold";

// Dialog units to pixels: the layout keeps the proportions of a dialog of
// 458 x 321 units.
constexpr double kUnitX = 1.75;
constexpr double kUnitY = 1.85;
QRect units(int x, int y, int width, int height) {
  return {static_cast<int>(std::lround(x * kUnitX)), static_cast<int>(std::lround(y * kUnitY)),
          static_cast<int>(std::lround(width * kUnitX)), static_cast<int>(std::lround(height * kUnitY))};
}

QString from_big5(std::string_view big5) { return QString::fromStdString(big5_to_utf8(big5)); }

template <typename Widget>
Widget* control(QWidget* parent, const char* id, const QRect& place) {
  auto* widget = named_widget<Widget>(parent, id);
  widget->setGeometry(place);
  return widget;
}

QPushButton* button(QWidget* parent, const char* id, const QString& text, const QRect& place) {
  auto* made = control<QPushButton>(parent, id, place);
  made->setText(text);
  made->setAutoDefault(false);
  return made;
}

void hide_and_disable(QWidget* widget) {
  widget->hide();
  widget->setEnabled(false);
}

// What a live loop shows, carried into the GUI thread.
class LoopObserver final : public LiveLoopObserver {
 public:
  LoopObserver(std::function<void(const QString&)> status, std::function<void(const RecognitionOutcome&)> recognised,
               std::function<void()> syllables)
      : status_(std::move(status)), recognised_(std::move(recognised)), syllables_(std::move(syllables)) {}
  void status(std::string_view text) override {
    status_(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  }
  void recognised(const RecognitionOutcome& outcome, const CaptureResult&) override { recognised_(outcome); }
  void syllables_recognised(const SyllableLoopOutcome&) override { syllables_(); }

 private:
  std::function<void(const QString&)> status_;
  std::function<void(const RecognitionOutcome&)> recognised_;
  std::function<void()> syllables_;
};

}  // namespace

MainDialog::MainDialog(const StationOptions& options, QWidget* parent) : QDialog(parent), options_(options) {
  setObjectName("102");
  setWindowTitle(kStationCaption);
  setWindowIcon(station_icon());
  build_controls();
  build_menus();
  start_up(options);
}

MainDialog::~MainDialog() {
  // A worker still running holds this dialog; stop a loop and let it end.
  if (live_) live_->keyword_toggle = kToggleIdle;
  // Its calls into this thread are answered until it has ended.
  while (worker_.joinable()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (worker_.joinable()) QThread::msleep(5);
  }
}

void MainDialog::build_controls() {
  setFixedSize(units(0, 0, 458, 321).size());
  auto* label = new QLabel("詞彙", this);
  label->setGeometry(units(7, 18, 20, 10));
  vocabulary_box_ = control<QComboBox>(this, "1000", units(28, 16, 92, 14));
  calibrate_button_ = button(this, "1003", "調適", units(128, 15, 50, 16));
  keyword_button_ = button(this, "1011", kKeywordButtonText, units(184, 15, 80, 16));
  exit_button_ = button(this, "1", "離開", units(401, 15, 50, 16));

  waveform_ = control<WaveformView>(this, "1002", units(7, 38, 117, 62));
  level_bar_ = control<QProgressBar>(this, "1007", units(7, 104, 117, 8));
  level_bar_->setTextVisible(false);
  auto* start_label = new QLabel("起始", this);
  start_label->setGeometry(units(7, 118, 20, 10));
  start_slider_ = control<QSlider>(this, "1005", units(28, 116, 96, 14));
  auto* silence_label = new QLabel("靜音", this);
  silence_label->setGeometry(units(7, 134, 20, 10));
  silence_slider_ = control<QSlider>(this, "1006", units(28, 132, 96, 14));
  for (QSlider* slider : {start_slider_, silence_slider_}) slider->setOrientation(Qt::Horizontal);

  word_list_ = control<QListWidget>(this, "1009", units(130, 38, 100, 108));
  result_header_ = button(this, "1020", "辨識結果", units(236, 38, 100, 14));
  result_header_->setDefault(true);
  candidate_list_ = control<QListWidget>(this, "1010", units(236, 52, 100, 94));
  statistics_list_ = control<QListWidget>(this, "1019", units(342, 38, 109, 108));
  detail_list_ = control<QListWidget>(this, "1012", units(7, 152, 444, 128));
  detail_list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  detail_list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  status_ = control<QLabel>(this, "1004", units(7, 286, 200, 14));
  status_->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  keyword_batch_button_ = button(this, "1018", "整批測試(關鍵詞）", units(212, 285, 78, 15));
  large_batch_button_ = button(this, "1013", "整批測試(大字彙）", units(294, 285, 78, 15));
  large_button_ = button(this, "1015", kLargeButtonText, units(376, 285, 75, 15));
  keyword_lookup_button_ = button(this, "1017", "查號台(關鍵詞)", units(212, 302, 78, 15));
  lookup_button_ = button(this, "1014", "查號台(大字彙)", units(294, 302, 78, 15));
  dialogue_button_ = button(this, "1016", "重新對話", units(376, 302, 75, 15));
  // 1014, 1016 and 1017 have no action and stay hidden and disabled throughout.
  for (QWidget* hidden :
       std::initializer_list<QWidget*>{large_batch_button_, lookup_button_, large_button_, dialogue_button_,
                                       keyword_lookup_button_, keyword_batch_button_, statistics_list_}) {
    hide_and_disable(hidden);
  }

  connect(calibrate_button_, &QPushButton::clicked, this, &MainDialog::calibrate_noise_clicked);
  connect(vocabulary_box_, &QComboBox::textActivated, this, &MainDialog::vocabulary_chosen);
  connect(keyword_button_, &QPushButton::clicked, this, &MainDialog::keyword_toggle_clicked);
  connect(large_button_, &QPushButton::clicked, this, &MainDialog::large_vocabulary_toggle_clicked);
  connect(exit_button_, &QPushButton::clicked, this, &MainDialog::exit_clicked);
  connect(keyword_batch_button_, &QPushButton::clicked, this, &MainDialog::keyword_batch_clicked);
  connect(large_batch_button_, &QPushButton::clicked, this, &MainDialog::large_vocabulary_batch_clicked);
  connect(detail_list_, &QListWidget::itemDoubleClicked, this, &MainDialog::detail_double_clicked);
  // Only what the user does moves a threshold; setting a position does not.
  for (QSlider* slider : {start_slider_, silence_slider_}) {
    connect(slider, &QSlider::actionTriggered, this,
            [this, slider] { slider_moved(slider, slider->sliderPosition()); });
  }
  connect(&level_timer_, &QTimer::timeout, this,
          [this] { level_bar_->setValue(level_.load(std::memory_order_relaxed)); });
}

void MainDialog::build_menus() {
  menu_bar_ = new QMenuBar(this);
  QMenu* data_menu = menu_bar_->addMenu("資料");
  editor_action_ = data_menu->addAction("修改", this, &MainDialog::open_vocabulary_editor);
  editor_action_->setObjectName("32771");
  QMenu* settings_menu = menu_bar_->addMenu("設定");
  threshold_action_ =
      settings_menu->addAction("判定門檻 (decision threshold)...", this, &MainDialog::choose_decision_threshold);
  threshold_action_->setObjectName("decision threshold");
  adapt_action_ = settings_menu->addAction("調適我的聲音 (adapt to my voice)...", this, &MainDialog::adapt_to_voice);
  adapt_action_->setObjectName("adapt to my voice");
  shipped_action_ =
      settings_menu->addAction("使用原始模型 (the shipped models)", this, &MainDialog::use_shipped_models);
  shipped_action_->setObjectName("shipped models");
  shipped_action_->setEnabled(false);
  QMenu* help_menu = menu_bar_->addMenu("說明");
  QAction* about = help_menu->addAction(kAboutMenuText, this, [this] { AboutBox(this).exec(); });
  about->setObjectName("16");
  // The controls sit below the menu bar.
  const int menu_height = menu_bar_->sizeHint().height();
  for (QWidget* child : findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
    if (child != menu_bar_) child->move(child->x(), child->y() + menu_height);
  }
  setFixedSize(width(), height() + menu_height);
}

void MainDialog::start_up(const StationOptions& options) {
  std::error_code error;
  data_directory_ = std::filesystem::current_path(error).string();
  if (const std::string refusal = error ? error.message() : data_directory_refusal(data_directory_); !refusal.empty()) {
    message_sink().message_box(refusal);
    failed_ = true;
    return;
  }
  OrRefusal<std::shared_ptr<const LoadedData>> started = start_engine(data_directory_);
  if (!started) {
    show_refusal(started.refusal());
    failed_ = true;
    return;
  }
  data_ = std::move(*started);
  shipped_directory_ = data_directory_;

  WaveInChoice input = make_wave_in(options.audio_in.empty() ? default_wave_in_spec() : options.audio_in);
  if (!input.device) {
    // The station still starts: every capture then reports that nothing was heard.
    message_sink().message_box(input.error);
    input.device = make_null_wave_in();
  }
  input_ = std::move(input.device);
  WaveOutChoice output = make_wave_out(options.audio_out.empty() ? default_wave_out_spec() : options.audio_out);
  if (!output.device) {
    message_sink().message_box(output.error);
    output.device = make_null_wave_out();
  }
  output_ = std::move(output.device);

  OrRefusal<Workspace> workspace = make_workspace(*data_);
  if (!workspace) {
    show_refusal(workspace.refusal());
    failed_ = true;
    return;
  }
  live_ = std::make_unique<LiveRecognition>(data_, std::move(*workspace), *input_, calibration_);
  live_->threshold = decision_threshold();
  live_->level_bar = [this](int level) { level_.store(level, std::memory_order_relaxed); };

  level_bar_->setRange(0, kLevelRange);
  set_mode(kModeIdle);
  calibrate_noise(*input_, calibration_, [this](int level) { level_bar_->setValue(level); });
  set_sliders_from_thresholds();
  for (const char* name : kVocabularies) vocabulary_box_->addItem(name);
  vocabulary_box_->setCurrentIndex(-1);
  if (options.maintenance) {
    for (QWidget* shown :
         std::initializer_list<QWidget*>{keyword_batch_button_, large_batch_button_, statistics_list_}) {
      shown->show();
      shown->setEnabled(true);
    }
  }
  level_timer_.start(kLevelRefreshMilliseconds);

  if (!options.vocabulary.empty()) {
    const QString name = QString::fromStdString(options.vocabulary);
    vocabulary_box_->setCurrentText(name);
    vocabulary_chosen(name);
  }
  if (options.listen) QTimer::singleShot(0, this, &MainDialog::keyword_toggle_clicked);
}

double MainDialog::decision_threshold() const {
  return QSettings().value(kSettingsThreshold, kDefaultThreshold).toDouble();
}

void MainDialog::set_decision_threshold(double threshold) {
  QSettings().setValue(kSettingsThreshold, threshold);
  if (live_) live_->threshold = threshold;
  show_status(status_->property("station text").toString());
}

void MainDialog::choose_decision_threshold() {
  bool chosen = false;
  const double threshold = QInputDialog::getDouble(
      this, "判定門檻", "Decision threshold on a result's mean confidence (0.39 by default):", decision_threshold(),
      0.0, 1.0, 2, &chosen);
  if (chosen) set_decision_threshold(threshold);
}

void MainDialog::show_status(const QString& text) {
  status_->setProperty("station text", text);
  const double threshold = live_ ? live_->threshold.load() : kDefaultThreshold;
  // A threshold other than the station's own is always in sight.
  status_->setText(std::abs(threshold - kDefaultThreshold) < 1e-9 || text.isEmpty()
                       ? text
                       : text + QString("  (門檻 %1)").arg(threshold, 0, 'f', 2));
  status_->repaint();
}

void MainDialog::set_mode(int mode) { waveform_->set_mode(mode); }

void MainDialog::set_sliders_from_thresholds() {
  for (QSlider* slider : {start_slider_, silence_slider_}) slider->setRange(0, kSliderRange);
  start_slider_->setValue(static_cast<int>(calibration_.stored.start.load()));
  silence_slider_->setValue(static_cast<int>(calibration_.stored.silence.load()));
}

void MainDialog::calibrate_noise_clicked() {
  set_mode(kModeCalibrating);
  keyword_button_->setEnabled(false);
  show_status(kStatusCalibrating);
  calibrate_noise(
      *input_, calibration_, [this](int level) { level_bar_->setValue(level); },
      [this] {
        waveform_->set_calibration_buffer({calibration_.buffer.begin(), calibration_.buffer.end()});
        repaint();
      });
  show_status(kStatusWaiting.data());
  set_mode(kModeIdle);
  set_sliders_from_thresholds();
  keyword_button_->setEnabled(true);
}

void MainDialog::vocabulary_chosen(const QString& name) {
  if (name.isEmpty() || name == current_vocabulary_ || busy()) return;
  current_vocabulary_ = name;
  show_status(kStatusReloading);
  OrRefusal<std::shared_ptr<const Vocabulary>> chosen = choose_vocabulary(*data_, name.toStdString());
  word_list_->clear();
  if (!chosen) {
    show_refusal(chosen.refusal());
    if (chosen.refusal().ends_station) end_process_with_failure();
    vocabulary_.reset();
    live_->set_vocabulary(nullptr);
  } else {
    vocabulary_ = std::move(*chosen);
    live_->set_vocabulary(vocabulary_);
    for (int entry = 0; entry < vocabulary_->loaded_entry_count; ++entry) {
      word_list_->addItem(QString::fromStdString(
          format_text("%5d %s", entry + 1, big5_to_utf8(vocabulary_->names[static_cast<std::size_t>(entry)]).c_str())));
    }
  }
  show_status(kStatusWaiting.data());
}

void MainDialog::set_loop_controls_enabled(bool enabled) {
  vocabulary_box_->setEnabled(enabled);
  exit_button_->setEnabled(enabled);
  editor_action_->setEnabled(enabled);
  threshold_action_->setEnabled(enabled);
  adapt_action_->setEnabled(enabled);
  shipped_action_->setEnabled(enabled && data_directory_ != shipped_directory_);
  if (options_.maintenance) {
    keyword_batch_button_->setEnabled(enabled);
    large_batch_button_->setEnabled(enabled);
  }
}

void MainDialog::run_on_gui(const std::function<void()>& call) { call_on_thread_of(this, call); }

void MainDialog::start_worker(std::function<void()> work) {
  set_loop_controls_enabled(false);
  worker_ = std::thread([this, work = std::move(work)] {
    work();
    // Joined on the GUI thread once this thread has nothing left to do.
    post_to_thread_of(this, [this] { worker_finished(); });
  });
}

void MainDialog::worker_finished() {
  if (worker_.joinable()) worker_.join();
  set_loop_controls_enabled(true);
  keyword_button_->setEnabled(true);
  calibrate_button_->setEnabled(true);
  if (close_when_idle_) close();
}

void MainDialog::show_outcome(const RecognitionOutcome& outcome) {
  candidate_list_->clear();
  detail_list_->clear();
  for (const AcceptedKeyword& keyword : outcome.accepted)
    candidate_list_->addItem(from_big5(batch_candidate_line(keyword)));
  for (const DisplayedResult& result : outcome.results) {
    for (const std::string& line : result.detail) detail_list_->addItem(from_big5(without_line_end(line)));
  }
}

void MainDialog::keyword_toggle_clicked() {
  if (!live_) return;
  if (live_->keyword_toggle == kToggleIdle) {
    if (busy()) return;
    if (!live_->dump.open(kRawDumpFileName)) message_sink().message_box("error");
    calibrate_button_->setEnabled(false);
    set_mode(kModeRecognising);
    keyword_button_->setText(kStopButtonText);
    live_->keyword_toggle = kToggleRunning;
    start_worker([this] {
      LoopObserver observer(
          [this](const QString& text) { run_on_gui([this, &text] { show_status(text); }); },
          [this](const RecognitionOutcome& outcome) {
            run_on_gui([this, &outcome] {
              show_outcome(outcome);
              last_outcome_ = outcome;
              const auto samples = live_->samples();
              last_samples_.assign(
                  samples.begin(),
                  samples.begin() +
                      std::clamp<std::size_t>(static_cast<std::size_t>(outcome.sample_count), 0, samples.size()));
              waveform_->set_utterance(last_samples_, outcome.trimmed_start, outcome.trimmed_end, outcome.times);
              repaint();
              ++recognised_utterances_;
              if (!options_.screenshot.empty()) save_screenshot();
              if (options_.quit_after > 0 && recognised_utterances_ >= options_.quit_after) {
                close_when_idle_ = true;
                live_->keyword_toggle = kToggleIdle;
              }
            });
          },
          [] {});
      live_->run_loop(observer);
      // No block is written after the close: the capture has ended.
      live_->dump.close();
    });
  } else {
    live_->keyword_toggle = kToggleIdle;
    // Until the loop has finished its capture, there is nothing to restart:
    // 調適 and this button come back when it has ended.
    calibrate_button_->setEnabled(false);
    keyword_button_->setEnabled(false);
    keyword_button_->setText(kKeywordButtonText);
    set_mode(kModeIdle);
  }
}

void MainDialog::large_vocabulary_toggle_clicked() {
  if (!live_) return;
  if (live_->keyword_toggle == kToggleIdle) {
    if (busy()) return;
    set_mode(kModeRecognising);
    large_button_->setText(kStopButtonText);
    live_->keyword_toggle = kToggleRunning;
    start_worker([this] {
      LoopObserver observer([this](const QString& text) { run_on_gui([this, &text] { show_status(text); }); },
                            [](const RecognitionOutcome&) {},
                            [this] {
                              run_on_gui([this] {
                                repaint();
                                candidate_list_->clear();
                                detail_list_->clear();
                              });
                            });
      live_->run_loop(observer, LivePass::large_vocabulary);
    });
  } else {
    live_->keyword_toggle = kToggleIdle;
    large_button_->setText(kLargeButtonText);
    set_mode(kModeIdle);
  }
}

void MainDialog::slider_moved(QSlider* slider, int position) {
  if (slider == start_slider_) calibration_.stored.start = static_cast<float>(position);
  if (slider == silence_slider_) calibration_.stored.silence = static_cast<float>(position);
}

void MainDialog::detail_double_clicked() {
  if (!live_ || live_->keyword_toggle != kToggleIdle || busy()) return;
  const int line = detail_list_->currentRow();
  if (line < 0) return;
  play_segment(*output_, last_outcome_, line / kDetailLines, last_samples_);
}

void MainDialog::exit_clicked() {
  if (busy()) return;
  // What start-up loaded is released before the window goes.
  live_.reset();
  vocabulary_.reset();
  data_.reset();
  accept();
}

void MainDialog::closeEvent(QCloseEvent* event) {
  if (busy()) {
    // Stop a loop and close once the worker has ended; a batch cannot be stopped.
    if (live_) live_->keyword_toggle = kToggleIdle;
    close_when_idle_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void MainDialog::open_vocabulary_editor() {
  if (busy() || !data_ || !options_.open_editor) return;
  options_.open_editor(*data_, this);
}

void MainDialog::keyword_batch_clicked() {
  if (busy() || !data_) return;
  keyword_button_->setEnabled(false);
  calibrate_button_->setEnabled(false);
  set_mode(kModeRecognising);
  const std::shared_ptr<const Vocabulary> vocabulary = vocabulary_ ? vocabulary_ : std::make_shared<const Vocabulary>();
  start_worker([this, vocabulary] {
    struct Observer final : KeywordBatchObserver {
      explicit Observer(MainDialog& dialog) : dialog(dialog) {}
      void file_started(int, std::string_view short_name) override {
        dialog.run_on_gui(
            [this, short_name] { dialog.show_status(QString::fromUtf8(short_name.data(), short_name.size())); });
      }
      void file_finished(const KeywordBatchFileReport& report) override {
        last = report;
        dialog.run_on_gui([this, &report] {
          dialog.statistics_list_->clear();
          for (const std::string& line : report.statistics_lines) dialog.statistics_list_->addItem(from_big5(line));
          dialog.show_batch_lines(report);
          dialog.repaint();
        });
      }
      MainDialog& dialog;
      KeywordBatchFileReport last;
    } observer(*this);
    OrRefusal<Workspace> workspace = make_workspace(*data_);
    if (!workspace) {
      run_on_gui([&] { show_refusal(workspace.refusal()); });
      return;
    }
    const OrRefusal<KeywordBatchSummary> summary =
        run_keyword_batch_test(*data_, *vocabulary, kDefaultBatchTestSet, batch_pass_options(), observer, *workspace);
    run_on_gui([&] {
      if (!summary) {
        show_refusal(summary.refusal());
        if (summary.refusal().ends_station) end_process_with_failure();
        return;
      }
      show_batch_lines(observer.last);
      repaint();
    });
  });
}

void MainDialog::show_batch_lines(const KeywordBatchFileReport& report) {
  candidate_list_->clear();
  detail_list_->clear();
  for (const std::string& line : report.candidate_lines) candidate_list_->addItem(from_big5(line));
  for (const std::string& line : report.detail_lines) detail_list_->addItem(from_big5(without_line_end(line)));
}

void MainDialog::large_vocabulary_batch_clicked() {
  if (busy() || !data_) return;
  keyword_button_->setEnabled(false);
  calibrate_button_->setEnabled(false);
  const std::shared_ptr<const Vocabulary> vocabulary = vocabulary_ ? vocabulary_ : std::make_shared<const Vocabulary>();
  start_worker([this, vocabulary] {
    OrRefusal<Workspace> workspace = make_workspace(*data_);
    if (!workspace) {
      run_on_gui([&] { show_refusal(workspace.refusal()); });
      return;
    }
    const OrRefusal<LatticeOutcome> lattice =
        run_syllable_lattice(*data_, *vocabulary, station_lattice_files(*data_), *workspace);
    run_on_gui([&] {
      if (!lattice) {
        show_refusal(lattice.refusal());
        if (lattice.refusal().ends_station) end_process_with_failure();
        return;
      }
      detail_list_->clear();
      for (const std::string& line : lattice->report_lines) detail_list_->addItem(from_big5(without_line_end(line)));
      repaint();
    });
  });
}

bool MainDialog::restart_engine(const std::string& directory) {
  if (busy() || !input_) return false;
  std::error_code error;
  const std::filesystem::path previous = std::filesystem::current_path(error);
  std::filesystem::current_path(directory, error);
  if (error) {
    message_sink().message_box("cannot change into " + directory + ": " + error.message());
    return false;
  }
  OrRefusal<std::shared_ptr<const LoadedData>> started = start_engine(directory);
  OrRefusal<Workspace> workspace = started ? make_workspace(**started) : OrRefusal<Workspace>(started.refusal());
  if (!started || !workspace) {
    message_sink().message_box(started ? workspace.refusal().text : started.refusal().text);
    std::filesystem::current_path(previous, error);
    return false;
  }
  data_ = std::move(*started);
  data_directory_ = directory;
  live_ = std::make_unique<LiveRecognition>(data_, std::move(*workspace), *input_, calibration_);
  live_->threshold = decision_threshold();
  live_->level_bar = [this](int level) { level_.store(level, std::memory_order_relaxed); };
  // The vocabulary is loaded again over the new models.
  const QString vocabulary = current_vocabulary_;
  current_vocabulary_.clear();
  vocabulary_.reset();
  if (!vocabulary.isEmpty()) vocabulary_chosen(vocabulary);
  set_loop_controls_enabled(true);
  return true;
}

void MainDialog::adapt_to_voice() {
  if (busy() || !data_) return;
  EnrolmentDialog enrolment(data_, data_directory_, *input_, *output_, calibration_, this);
  if (enrolment.exec() == QDialog::Accepted && !enrolment.adapted_directory().empty()) {
    restart_engine(enrolment.adapted_directory());
  }
}

void MainDialog::use_shipped_models() {
  if (data_directory_ != shipped_directory_) restart_engine(shipped_directory_);
}

void MainDialog::save_screenshot() { grab().save(QString::fromStdString(options_.screenshot)); }

}  // namespace kws

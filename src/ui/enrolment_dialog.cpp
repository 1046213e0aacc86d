#include "ui/enrolment_dialog.h"

#include <QFont>
#include <QHBoxLayout>
#include <QVBoxLayout>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "audio/capture.h"
#include "audio/endpoint_detector.h"
#include "audio/playback.h"
#include "platform/audio_file.h"
#include "platform/message_sink.h"
#include "trainer/adaptation.h"
#include "trainer/corpus_list.h"
#include "ui/named_widget.h"
#include "ui/qt_message_sink.h"

namespace kws {
namespace {

namespace fs = std::filesystem;

constexpr int kAdaptationPasses = 3;
constexpr int kFramesPerSecond = 100;

std::string recording_name(const EnrolmentPrompt& prompt) { return "rec/" + prompt.number + ".wav"; }

}  // namespace

std::vector<EnrolmentPrompt> read_enrolment_prompts(const std::string& data_directory) {
  std::vector<EnrolmentPrompt> prompts;
  std::ifstream file(fs::path(data_directory) / "enrolment" / "prompts.txt");
  // "NN  characters  zhuyin", the fields two blanks apart.
  for (std::string line; std::getline(file, line);) {
    const std::size_t first = line.find("  ");
    const std::size_t second = first == std::string::npos ? first : line.find("  ", first + 2);
    if (second == std::string::npos) continue;
    prompts.push_back({line.substr(0, first), line.substr(first + 2, second - first - 2), line.substr(second + 2)});
  }
  return prompts;
}

std::string adapted_directory_for(const std::string& data_directory) {
  const fs::path original = fs::path(data_directory).lexically_normal();
  const fs::path base = original.has_filename() ? original : original.parent_path();
  for (int attempt = 1;; ++attempt) {
    const fs::path candidate =
        base.parent_path() / (base.filename().string() + "-adapted" + (attempt > 1 ? format_text("-%d", attempt) : ""));
    std::error_code error;
    if (!fs::exists(candidate, error) || fs::is_empty(candidate, error)) return candidate.string();
  }
}

EnrolmentDialog::EnrolmentDialog(std::shared_ptr<const LoadedData> data, std::string data_directory, WaveIn& input,
                                 WaveOut& output, NoiseCalibration& calibration, QWidget* parent)
    : QDialog(parent),
      data_(std::move(data)),
      data_directory_(std::move(data_directory)),
      input_(input),
      output_(output),
      calibration_(calibration),
      prompts_(read_enrolment_prompts(data_directory_)) {
  setObjectName("enrolment");
  setWindowTitle("調適我的聲音 (adapt to my voice)");
  recordings_.resize(prompts_.size());

  number_ = new QLabel(this);
  characters_ = named_widget<QLabel>(this, "characters");
  QFont large = characters_->font();
  large.setPointSize(large.pointSize() * 2);
  characters_->setFont(large);
  zhuyin_ = named_widget<QLabel>(this, "zhuyin");
  zhuyin_->setFont(large);
  state_ = named_widget<QLabel>(this, "state");
  state_->setWordWrap(true);
  record_ = named_widget<QPushButton>(this, "record", "錄音 Record");
  play_ = named_widget<QPushButton>(this, "play", "播放 Play");
  previous_ = named_widget<QPushButton>(this, "previous", "上一句 Previous");
  next_ = named_widget<QPushButton>(this, "next", "下一句 Next");
  adapt_ = named_widget<QPushButton>(this, "adapt", "開始調適 Adapt");
  cancel_button_ = named_widget<QPushButton>(this, "cancel", "取消 Cancel");
  progress_ = named_widget<QProgressBar>(this, "progress");
  progress_->setRange(0, kAdaptationPasses);
  progress_->setValue(0);
  for (QPushButton* button : {record_, play_, previous_, next_, adapt_, cancel_button_}) button->setAutoDefault(false);

  auto* buttons = new QHBoxLayout;
  for (QPushButton* button : {previous_, record_, play_, next_}) buttons->addWidget(button);
  auto* finish = new QHBoxLayout;
  finish->addWidget(progress_, 1);
  finish->addWidget(adapt_);
  finish->addWidget(cancel_button_);
  auto* layout = new QVBoxLayout(this);
  for (QWidget* widget : std::initializer_list<QWidget*>{number_, characters_, zhuyin_}) layout->addWidget(widget);
  layout->addLayout(buttons);
  layout->addWidget(state_);
  layout->addLayout(finish);

  connect(record_, &QPushButton::clicked, this, &EnrolmentDialog::record);
  connect(play_, &QPushButton::clicked, this, &EnrolmentDialog::play);
  connect(previous_, &QPushButton::clicked, this, [this] {
    if (current_ > 0) --current_;
    show_prompt();
  });
  connect(next_, &QPushButton::clicked, this, [this] {
    if (current_ + 1 < static_cast<int>(prompts_.size())) ++current_;
    show_prompt();
  });
  connect(adapt_, &QPushButton::clicked, this, &EnrolmentDialog::adapt);
  connect(cancel_button_, &QPushButton::clicked, this, &EnrolmentDialog::reject);

  if (prompts_.empty()) {
    state_->setText(QString::fromStdString("There are no enrolment prompts in " + data_directory_ + "/enrolment."));
  }
  show_prompt();
}

EnrolmentDialog::~EnrolmentDialog() {
  capture_toggle_ = kToggleIdle;
  cancel_ = true;
  if (worker_.joinable()) worker_.join();
}

int EnrolmentDialog::recorded_count() const {
  int count = 0;
  for (const auto& recording : recordings_) count += recording.empty() ? 0 : 1;
  return count;
}

void EnrolmentDialog::show_prompt() {
  const bool idle = !busy();
  const bool any = !prompts_.empty();
  if (any) {
    const EnrolmentPrompt& prompt = prompts_[static_cast<std::size_t>(current_)];
    number_->setText(QString("%1 / %2").arg(current_ + 1).arg(prompts_.size()));
    characters_->setText(QString::fromStdString(prompt.characters));
    zhuyin_->setText(QString::fromStdString(prompt.zhuyin));
  }
  const bool has_recording = any && !recordings_[static_cast<std::size_t>(current_)].empty();
  record_->setText(has_recording ? "重錄 Redo" : "錄音 Record");
  record_->setEnabled(idle && any);
  play_->setEnabled(idle && has_recording);
  previous_->setEnabled(idle && current_ > 0);
  next_->setEnabled(idle && current_ + 1 < static_cast<int>(prompts_.size()));
  adapt_->setEnabled(idle && recorded_count() > 0 && adapted_directory_.empty());
  if (idle && any && adapted_directory_.empty()) {
    state_->setText(QString("%1 of %2 prompts recorded. Read the prompt aloud after pressing Record.")
                        .arg(recorded_count())
                        .arg(prompts_.size()));
  }
}

void EnrolmentDialog::join_worker() {
  if (worker_.joinable()) worker_.join();
}

void EnrolmentDialog::record() {
  if (busy() || prompts_.empty()) return;
  state_->setText("錄音中... (recording)");
  capture_toggle_ = kToggleRunning;
  worker_ = std::thread([this] {
    std::vector<std::int16_t> samples;
    OrRefusal<Workspace> workspace = make_workspace(*data_);
    if (workspace) {
      LiveAnalysis analysis(*data_, *workspace);
      EndpointDetector detector(analysis, calibration_.working, nullptr, {});
      const CaptureResult capture = capture_utterance(input_, detector, capture_toggle_);
      if (capture.end == CaptureEnd::utterance) {
        const auto stored = analysis.samples();
        samples.assign(stored.begin(), stored.begin() + capture.utterance_samples);
      }
    }
    post_to_thread_of(this, [this, samples = std::move(samples)]() mutable {
      join_worker();
      recorded(std::move(samples));
    });
  });
  show_prompt();
}

void EnrolmentDialog::recorded(std::vector<std::int16_t> samples) {
  if (cancel_) {
    QDialog::reject();
    return;
  }
  const bool heard = !samples.empty();
  if (heard) recordings_[static_cast<std::size_t>(current_)] = std::move(samples);
  show_prompt();
  if (!heard) state_->setText("沒錄到聲音!!! Nothing was heard; press Record and read the prompt again.");
}

void EnrolmentDialog::play() {
  if (busy() || prompts_.empty()) return;
  const auto& recording = recordings_[static_cast<std::size_t>(current_)];
  play_frames(output_, recording, 0, static_cast<int>(recording.size()) / (kStationSampleRate / kFramesPerSecond));
}

void EnrolmentDialog::adapt() {
  if (busy() || recorded_count() == 0 || !recordings_folder_.isValid()) return;
  // The recordings and their list, in a folder that goes with the dialog.
  const fs::path folder = recordings_folder_.path().toStdString();
  fs::create_directories(folder / "rec");
  std::ostringstream list;
  for (std::size_t i = 0; i < prompts_.size(); ++i) {
    if (recordings_[i].empty()) continue;
    if (const std::string error = write_wav_file((folder / recording_name(prompts_[i])).string(), recordings_[i]);
        !error.empty()) {
      state_->setText(QString::fromStdString(error));
      return;
    }
    list << recording_name(prompts_[i]) << '\t' << prompts_[i].zhuyin << '\n';
  }
  std::string error;
  const std::optional<std::vector<trainer::ListedUtterance>> utterances =
      trainer::parse_corpus_list(list.str(), "enrolment", folder.string(), error);
  if (!utterances) {
    state_->setText(QString::fromStdString(error));
    return;
  }

  output_directory_ = adapted_directory_for(data_directory_);
  passes_done_ = 0;
  progress_->setValue(0);
  state_->setText("調適中... (adapting the models)");
  worker_ = std::thread([this, recordings = *utterances] {
    trainer::AdaptationOptions options;
    options.jobs = std::max(1u, std::thread::hardware_concurrency());
    options.cancel = &cancel_;
    const auto report = [this](const std::string& line) {
      post_to_thread_of(this, [this, line] { progress(QString::fromStdString(line)); });
    };
    std::string failure;
    const bool succeeded =
        trainer::adapt_data_directory(data_directory_, recordings, output_directory_, options, report, failure)
            .has_value();
    post_to_thread_of(this, [this, succeeded, failure] {
      join_worker();
      adapted(succeeded, failure);
    });
  });
  show_prompt();
}

void EnrolmentDialog::progress(const QString& line) {
  if (line.startsWith("pass ")) progress_->setValue(passes_done_++);
  state_->setText(line);
}

void EnrolmentDialog::adapted(bool succeeded, const std::string& message) {
  if (cancel_) {
    // Adaptation may have finished writing before it saw the cancel.
    std::error_code error;
    if (succeeded) fs::remove_all(output_directory_, error);
    QDialog::reject();
    return;
  }
  if (!succeeded) {
    state_->setText(QString::fromStdString("Adaptation failed: " + message));
    show_prompt();
    return;
  }
  progress_->setValue(kAdaptationPasses);
  adapted_directory_ = output_directory_;
  accept();
}

void EnrolmentDialog::reject() {
  if (!busy()) {
    QDialog::reject();
    return;
  }
  // The worker ends soon (a capture within a buffer, adaptation at its next
  // step); the dialog closes when it has.
  capture_toggle_ = kToggleIdle;
  cancel_ = true;
  state_->setText("取消中... (cancelling)");
}

}  // namespace kws

// "Adapt to my voice" driven as a user would: three prompts read by the
// synthesiser play the microphone, each is recorded through the capture
// layer, and the adaptation writes a data directory the station then starts
// on. Cancelling leaves nothing behind.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "audio/noise_calibration.h"
#include "platform/audio_file.h"
#include "qt_application.h"
#include "support/bundled_engine.h"
#include "support/capturing_sink.h"
#include "support/fixture_data.h"
#include "support/tone_data.h"
#include "ui/enrolment_dialog.h"
#include "ui/main_dialog.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
constexpr int kPrompts = 3;

class Enrolment : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::qt_application();
    if (std::system("command -v espeak-ng >/dev/null 2>&1") != 0) GTEST_SKIP() << "espeak-ng is not installed";
    folder_ = testing::scratch_directory();
    data_ = testing::link_bundled_data(folder_);
    // The first prompts, read by the synthesiser, each after a second of room.
    const std::vector<EnrolmentPrompt> prompts = read_enrolment_prompts(data_.string());
    ASSERT_GE(prompts.size(), static_cast<std::size_t>(kPrompts));
    std::ofstream recipe(folder_ / "recipe.txt");
    for (int i = 0; i < kPrompts; ++i) {
      std::string text = prompts[static_cast<std::size_t>(i)].zhuyin;
      recipe << "p" << i << "\tf2\t160\t50\t5\tnone\t0\t" << text << "\n";
    }
    recipe.close();
    const std::string command =
        "cd '" + folder_.string() + "' && " KWS_SYNTH_BINARY " --jobs 2 recipe.txt out >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::vector<std::int16_t> microphone = testing::room_noise(16000, 1, 20);
    for (int i = 0; i < kPrompts; ++i) {
      const LoadedAudio spoken = load_audio_file((folder_ / "out" / ("p" + std::to_string(i) + ".wav")).string());
      ASSERT_TRUE(spoken.ok()) << spoken.error;
      microphone.insert(microphone.end(), spoken.samples.begin(), spoken.samples.end());
      const std::vector<std::int16_t> pause = testing::room_noise(16000, static_cast<unsigned>(i) + 2, 20);
      microphone.insert(microphone.end(), pause.begin(), pause.end());
    }
    microphone_ = make_sample_wave_in(microphone, false);
    speaker_ = make_null_wave_out();
    OrRefusal<std::shared_ptr<const LoadedData>> started = start_engine(data_.string());
    ASSERT_TRUE(started) << started.refusal().text;
    loaded_ = *started;
    ASSERT_TRUE(calibrate_noise(*microphone_, calibration_));
  }

  // Records the first prompts, one after the other.
  void record_prompts(EnrolmentDialog& dialog) {
    auto* record = dialog.findChild<QPushButton*>("record");
    auto* next = dialog.findChild<QPushButton*>("next");
    for (int i = 0; i < kPrompts; ++i) {
      QTest::mouseClick(record, Qt::LeftButton);
      ASSERT_TRUE(testing::wait_until([&] { return !dialog.busy(); }, 30000));
      EXPECT_EQ(record->text(), "重錄 Redo") << dialog.findChild<QLabel*>("state")->text().toStdString();
      QTest::mouseClick(next, Qt::LeftButton);
    }
  }

  fs::path folder_;
  fs::path data_;
  std::unique_ptr<WaveIn> microphone_;
  std::unique_ptr<WaveOut> speaker_;
  std::shared_ptr<const LoadedData> loaded_;
  NoiseCalibration calibration_;
  testing::CapturingSink sink_;
};

TEST_F(Enrolment, RecordedPromptsAdaptACopyTheStationStartsOn) {
  EnrolmentDialog dialog(loaded_, data_.string(), *microphone_, *speaker_, calibration_);
  dialog.show();
  EXPECT_FALSE(dialog.findChild<QLabel*>("characters")->text().isEmpty());
  EXPECT_FALSE(dialog.findChild<QPushButton*>("adapt")->isEnabled());
  record_prompts(dialog);
  auto* adapt = dialog.findChild<QPushButton*>("adapt");
  ASSERT_TRUE(adapt->isEnabled());
  QTest::mouseClick(adapt, Qt::LeftButton);
  ASSERT_TRUE(testing::wait_until([&] { return !dialog.isVisible(); }, 300000));
  ASSERT_EQ(dialog.result(), QDialog::Accepted) << dialog.findChild<QLabel*>("state")->text().toStdString();
  const fs::path adapted = folder_ / "data-adapted";
  EXPECT_EQ(dialog.adapted_directory(), adapted.string());
  EXPECT_TRUE(fs::exists(adapted / "rcdmodel"));
  EXPECT_TRUE(fs::exists(data_ / "rcdmodel"));  // the original is untouched

  // The station starts on the adapted models and keeps its vocabulary.
  const fs::path original = fs::current_path();
  ASSERT_EQ(chdir(data_.c_str()), 0);
  StationOptions options;
  options.audio_in = "null";
  options.audio_out = "null";
  options.vocabulary = "火車系統";
  {
    MainDialog station(options);
    ASSERT_FALSE(station.failed());
    EXPECT_TRUE(station.restart_engine(adapted.string()));
    EXPECT_EQ(station.data_directory(), adapted.string());
    EXPECT_EQ(fs::current_path(), adapted);
  }
  fs::current_path(original);
}

TEST_F(Enrolment, CancellingAdaptationLeavesNothingBehind) {
  EnrolmentDialog dialog(loaded_, data_.string(), *microphone_, *speaker_, calibration_);
  dialog.show();
  record_prompts(dialog);
  QTest::mouseClick(dialog.findChild<QPushButton*>("adapt"), Qt::LeftButton);
  QTest::mouseClick(dialog.findChild<QPushButton*>("cancel"), Qt::LeftButton);
  ASSERT_TRUE(testing::wait_until([&] { return !dialog.isVisible(); }, 300000));
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_TRUE(dialog.adapted_directory().empty());
  for (const auto& entry : fs::directory_iterator(folder_)) {
    EXPECT_EQ(entry.path().filename().string().find("data-adapted"), std::string::npos) << entry.path();
  }
}

}  // namespace
}  // namespace kws

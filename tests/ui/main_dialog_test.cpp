// The main dialog driven as a user would, on the offscreen platform: the
// bundled data directory (through links in a scratch folder, so that what the
// station writes stays there) and recordings as the microphone.
#include "ui/main_dialog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSlider>
#include <QTest>
#include <filesystem>
#include <functional>

#include "platform/audio_file.h"
#include "qt_application.h"
#include "support/bundled_engine.h"
#include "support/capturing_sink.h"
#include "support/fixture_data.h"
#include "support/tone_data.h"

namespace kws {
namespace {

namespace fs = std::filesystem;
const fs::path kData = KWS_DATA_DIR;

std::vector<QString> texts_of(const QListWidget& list) {
  std::vector<QString> texts;
  for (int row = 0; row < list.count(); ++row) texts.push_back(list.item(row)->text());
  return texts;
}

class Station : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::qt_application();
    folder_ = testing::scratch_directory();
    original_directory_ = fs::current_path();
    const fs::path data = testing::link_bundled_data(folder_);
    // One second of room for the calibration, then a recording with keywords, then room.
    std::vector<std::int16_t> microphone = testing::room_noise(1 * 16000, 1);
    const LoadedAudio speech = load_audio_file((kData / "wave" / "tr1_4.wav").string());
    ASSERT_TRUE(speech.ok()) << speech.error;
    microphone.insert(microphone.end(), speech.samples.begin(), speech.samples.end());
    const std::vector<std::int16_t> after = testing::room_noise(2 * 16000, 2);
    microphone.insert(microphone.end(), after.begin(), after.end());
    testing::write_wav_file(folder_ / "microphone.wav", microphone);
    // The station's data directory is its working directory.
    ASSERT_EQ(chdir(data.c_str()), 0);
  }
  void TearDown() override { fs::current_path(original_directory_); }

  std::unique_ptr<MainDialog> start(bool maintenance = false) {
    StationOptions options;
    options.audio_in = "file-fast:" + (folder_ / "microphone.wav").string();
    options.audio_out = "file:" + (folder_ / "played.wav").string();
    options.maintenance = maintenance;
    auto dialog = std::make_unique<MainDialog>(options);
    EXPECT_FALSE(dialog->failed());
    dialog->show();
    return dialog;
  }
  template <typename Widget>
  static Widget& find(const MainDialog& dialog, const char* id) {
    Widget* widget = dialog.findChild<Widget*>(id);
    EXPECT_NE(widget, nullptr) << id;
    return *widget;
  }
  static void choose(MainDialog& dialog, const QString& name) {
    auto& box = find<QComboBox>(dialog, "1000");
    box.setCurrentText(name);
    Q_EMIT box.textActivated(name);
  }

  fs::path folder_;
  fs::path original_directory_;
  testing::CapturingSink sink_;
};

TEST_F(Station, StartsCalibratedWithTheControlsAndVocabulariesAsSpecified) {
  const auto dialog = start();
  EXPECT_EQ(dialog->windowTitle(), "中文關鍵詞辨識 -Ardmoor");
  auto& box = find<QComboBox>(*dialog, "1000");
  const QStringList expected = {"數字",     "408syl", "408syllable", "KTV排行榜", "銀行",
                                "銀行(全)", "股票",   "人名",        "火車系統",  "火車系統1"};
  QStringList entries;
  for (int i = 0; i < box.count(); ++i) entries << box.itemText(i);
  EXPECT_EQ(entries, expected);
  EXPECT_EQ(box.currentIndex(), -1);
  for (const char* hidden : {"1013", "1014", "1015", "1016", "1017", "1018"}) {
    auto& widget = find<QPushButton>(*dialog, hidden);
    EXPECT_TRUE(widget.isHidden() && !widget.isEnabled()) << hidden;
  }
  EXPECT_TRUE(find<QListWidget>(*dialog, "1019").isHidden());
  EXPECT_EQ(find<QPushButton>(*dialog, "1011").text(), "關鍵詞彙辨識");
  EXPECT_EQ(find<QProgressBar>(*dialog, "1007").maximum(), 200);

  // The calibration on the room set the sliders to the thresholds, 6 and 12 times the noise level.
  auto& start_slider = find<QSlider>(*dialog, "1005");
  auto& silence_slider = find<QSlider>(*dialog, "1006");
  EXPECT_EQ(start_slider.maximum(), 200);
  EXPECT_GT(start_slider.value(), 0);
  EXPECT_NEAR(silence_slider.value(), 2 * start_slider.value(), 1);

  // 調適 listens again; the next second of the microphone is speech, so the thresholds rise.
  const int calibrated = start_slider.value();
  QTest::mouseClick(&find<QPushButton>(*dialog, "1003"), Qt::LeftButton);
  EXPECT_GT(start_slider.value(), calibrated);
  EXPECT_EQ(find<QLabel>(*dialog, "1004").text(), "等待輸入指令...");
  EXPECT_TRUE(find<QPushButton>(*dialog, "1011").isEnabled());

  // A decision threshold other than the station's is kept and always in sight.
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(folder_.string()));
  dialog->set_decision_threshold(0.45);
  EXPECT_EQ(find<QLabel>(*dialog, "1004").text(), "等待輸入指令...  (門檻 0.45)");
  EXPECT_DOUBLE_EQ(start()->decision_threshold(), 0.45);
  dialog->set_decision_threshold(kDefaultThreshold);
  EXPECT_EQ(find<QLabel>(*dialog, "1004").text(), "等待輸入指令...");

  choose(*dialog, "火車系統");
  const auto words = texts_of(find<QListWidget>(*dialog, "1009"));
  ASSERT_GT(words.size(), 100u);
  EXPECT_EQ(words[0], "    1 基隆");
  EXPECT_EQ(words[10], "   11 台北");
  EXPECT_EQ(find<QLabel>(*dialog, "1004").text(), "等待輸入指令...");
  // Chosen again, the vocabulary is not reloaded.
  find<QLabel>(*dialog, "1004").setText("unchanged");
  choose(*dialog, "火車系統");
  EXPECT_EQ(find<QLabel>(*dialog, "1004").text(), "unchanged");
}

TEST_F(Station, RecognisesALiveUtteranceShowsItAndPlaysAResultBack) {
  const auto dialog = start();
  choose(*dialog, "火車系統");
  auto& toggle = find<QPushButton>(*dialog, "1011");
  auto& candidates = find<QListWidget>(*dialog, "1010");
  auto& details = find<QListWidget>(*dialog, "1012");
  QTest::mouseClick(&toggle, Qt::LeftButton);
  EXPECT_EQ(toggle.text(), "按鍵解除");
  // While the loop runs, nothing it depends on can be changed.
  EXPECT_FALSE(find<QComboBox>(*dialog, "1000").isEnabled());
  EXPECT_FALSE(find<QPushButton>(*dialog, "1").isEnabled());
  ASSERT_TRUE(testing::wait_until([&] { return candidates.count() > 0; }, 20000)) << "no keyword accepted";

  // Each accepted keyword indented by a space per ten frames of its start;
  // six detail lines per result.
  for (const QString& line : texts_of(candidates)) {
    const QString name = line.trimmed();
    EXPECT_FALSE(name.isEmpty());
    EXPECT_GT(line.size() - name.size(), 10) << line.toStdString();
  }
  EXPECT_EQ(details.count() % 6, 0);
  EXPECT_GE(details.count(), 12);

  QTest::mouseClick(&toggle, Qt::LeftButton);
  EXPECT_EQ(toggle.text(), "關鍵詞彙辨識");
  ASSERT_TRUE(testing::wait_until([&] { return !dialog->busy(); }, 20000));
  EXPECT_TRUE(find<QComboBox>(*dialog, "1000").isEnabled());
  EXPECT_EQ(find<QLabel>(*dialog, "1004").text(), "等待輸入指令...");
  EXPECT_TRUE(fs::exists(fs::current_path() / "debug.pcm"));

  // Line 7 belongs to result 1.
  details.setCurrentRow(7);
  Q_EMIT details.itemDoubleClicked(details.item(7));
  const LoadedAudio played = load_audio_file((folder_ / "played.wav").string());
  ASSERT_TRUE(played.ok()) << played.error;
  EXPECT_GT(played.samples.size(), 0u);
  EXPECT_EQ(played.samples.size() % 160, 0u);

  const QString picture = QString::fromStdString((folder_ / "station.png").string());
  EXPECT_TRUE(dialog->grab().save(picture));
}

// The waveform area: samples clipped to the area, no marks or texts for an
// utterance of 0.2 s or less, marks at the trimmed start and end otherwise.
TEST(Waveform, ClipsSamplesAndMarksOnlyLongUtterances) {
  testing::qt_application();
  WaveformView view;
  view.resize(104, 84);  // a 100 x 80 area inside the frame
  view.set_mode(kModeRecognising);
  const auto picture = [&view] { return view.grab().toImage(); };
  const auto red_columns = [](const QImage& image) {
    int columns = 0;
    for (int x = 0; x < image.width(); ++x) {
      int red = 0;
      for (int y = 0; y < image.height(); ++y) red += image.pixelColor(x, y) == QColor(255, 0, 0) ? 1 : 0;
      columns += red > image.height() / 2 ? 1 : 0;
    }
    return columns;
  };
  // Full scale everywhere: every column drawn from the axis to the area's top.
  view.set_utterance(std::vector<std::int16_t>(96000, 32767), 16000, 80000, {});
  QImage image = picture();
  const QRect area = view.contentsRect();
  EXPECT_EQ(image.pixelColor(area.left() + 50, area.top()), QColor(0, 0, 255));
  EXPECT_EQ(red_columns(image), 2);  // the start and end marks
  // 3200 samples: still drawn (step 32), but no marks.
  view.set_utterance(std::vector<std::int16_t>(3200, 32767), 100, 3000, {});
  image = picture();
  EXPECT_EQ(image.pixelColor(area.left() + 50, area.top()), QColor(0, 0, 255));
  EXPECT_EQ(red_columns(image), 0);
  // Fewer samples than columns: only the axis.
  view.set_utterance(std::vector<std::int16_t>(99, 32767), 0, 99, {});
  image = picture();
  EXPECT_NE(image.pixelColor(area.left() + 50, area.top()), QColor(0, 0, 255));
  EXPECT_EQ(image.pixelColor(area.left() + 50, area.top() + area.height() / 2), QColor(255, 0, 0));
}

TEST_F(Station, TheMaintenanceBatchButtonFillsTheStatistics) {
  const auto dialog = start(true);
  choose(*dialog, "火車系統");
  auto& batch = find<QPushButton>(*dialog, "1018");
  auto& statistics = find<QListWidget>(*dialog, "1019");
  EXPECT_TRUE(batch.isVisible() && batch.isEnabled());
  QTest::mouseClick(&batch, Qt::LeftButton);
  ASSERT_TRUE(testing::wait_until([&] { return !dialog->busy(); }, 120000));
  EXPECT_GT(statistics.count(), 3);
  EXPECT_EQ(find<QLabel>(*dialog, "1004").text(), "tr1_50.wav");
}

}  // namespace
}  // namespace kws

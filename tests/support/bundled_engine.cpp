#include "support/bundled_engine.h"

#include "platform/audio_file.h"
#include "platform/message_sink.h"

namespace kws::testing {

std::shared_ptr<const LoadedData>* BundledEngineTest::data_ = nullptr;
std::shared_ptr<const Vocabulary>* BundledEngineTest::vocabulary_ = nullptr;

std::string bundled_data_directory() { return KWS_DATA_DIR; }

std::filesystem::path link_bundled_data(const std::filesystem::path& folder) {
  const std::filesystem::path bundled = bundled_data_directory();
  const std::filesystem::path data = folder / "data";
  std::filesystem::create_directories(data / "dat");
  for (const char* entry :
       {"rcdmodel", "model", "rcdhmm", "train_index.txt", "dict1.bin", "qorphone.tbl", "data", "wave", "enrolment"}) {
    std::filesystem::create_symlink(bundled / entry, data / entry);
  }
  return data;
}

void BundledEngineTest::SetUpTestSuite() {
  OrRefusal<std::shared_ptr<const LoadedData>> started = start_engine(bundled_data_directory());
  ASSERT_TRUE(started) << started.refusal().text;
  data_ = new std::shared_ptr<const LoadedData>(*started);
  OrRefusal<std::shared_ptr<const Vocabulary>> chosen = choose_vocabulary(**data_, "火車系統");
  ASSERT_TRUE(chosen) << chosen.refusal().text;
  vocabulary_ = new std::shared_ptr<const Vocabulary>(*chosen);
}

void BundledEngineTest::TearDownTestSuite() {
  delete vocabulary_;
  delete data_;
  vocabulary_ = nullptr;
  data_ = nullptr;
}

Workspace BundledEngineTest::workspace() {
  OrRefusal<Workspace> made = make_workspace(**data_);
  EXPECT_TRUE(made);
  return std::move(*made);
}

std::vector<std::int16_t> BundledEngineTest::recording(int n) {
  LoadedAudio audio = load_audio_file(bundled_data_directory() + "/wave/tr1_" + std::to_string(n) + ".wav");
  EXPECT_TRUE(audio.ok()) << audio.error;
  return audio.samples;
}

std::string outcome_summary(const RecognitionOutcome& outcome) {
  std::string text = format_text("refusal %d frames %d\n", static_cast<int>(outcome.refusal), outcome.frame_count);
  for (const AcceptedKeyword& keyword : outcome.accepted) {
    text += format_text("accepted %s %d %d\n", keyword.name.c_str(), keyword.start_frame, keyword.end_frame);
  }
  for (const DisplayedResult& result : outcome.results) {
    text += format_text("result %d %.9g %d %d %d %.9g %.9g %.9g %.9g\n", result.entry, result.score, result.start_frame,
                        result.end_frame, result.accepted, result.keyword_score, result.anti_score, result.filler_score,
                        result.confidence[0]);
    for (const std::string& line : result.detail) text += line + "|";
    text += "\n";
  }
  return text;
}

}  // namespace kws::testing

#include "corpus/espeak_synthesis.h"

#include <sndfile.h>

#include <algorithm>
#include <memory>

#include "corpus/child_process.h"
#include "corpus/espeak_pinyin.h"
#include "corpus/utterance_audio.h"
#include "platform/message_sink.h"
#include "platform/text_encoding.h"

namespace kws::corpus {
namespace {

// espeak-ng says an utterance in well under a second; a run this long has hung.
constexpr std::chrono::milliseconds kEspeakTimeLimit{60000};

// The first line of a program's messages, for an error text.
std::string first_line(const std::string& output) {
  const std::string line = output.substr(0, output.find('\n'));
  return line.empty() ? "no message" : line;
}

struct SndfileCloser {
  void operator()(SNDFILE* file) const { sf_close(file); }
};

}  // namespace

std::string espeak_input(const std::vector<TextToken>& text) {
  std::string input;
  for (const TextToken& token : text) {
    if (!input.empty()) input += ' ';
    if (token.pause) {
      input += ',';
      continue;
    }
    for (std::size_t i = 0; i < token.syllables.size(); ++i) {
      if (i > 0) input += '-';
      input += espeak_pinyin(utf8_to_big5(token.syllables[i]).value_or("")).value_or("?");
    }
  }
  return input;
}

std::optional<std::vector<std::string>> espeak_variants(std::string& error) {
  const std::optional<ProgramRun> run = run_program({kEspeakProgram, "--voices=variant"}, kEspeakTimeLimit, error);
  if (!run) return std::nullopt;
  if (run->status != 0) {
    error = format_text("%s --voices=variant failed: %s", kEspeakProgram, first_line(run->output).c_str());
    return std::nullopt;
  }
  // Lines like " 5  variant  --/M  Adam  !v/adam": the variant's name is
  // its file name in the !v folder.
  std::vector<std::string> variants;
  std::size_t start = 0;
  while (start < run->output.size()) {
    const std::size_t end = std::min(run->output.find('\n', start), run->output.size());
    const std::string line = run->output.substr(start, end - start);
    start = end + 1;
    const std::size_t file = line.find("!v/");
    if (file == std::string::npos) continue;
    const std::size_t name = file + 3;
    variants.push_back(line.substr(name, line.find_first_of(" \t", name) - name));
  }
  if (variants.empty()) {
    error = format_text("%s --voices=variant lists no variants", kEspeakProgram);
    return std::nullopt;
  }
  return variants;
}

std::optional<std::vector<float>> synthesise_speech(const EspeakVoice& voice, const std::string& text,
                                                    const std::filesystem::path& scratch_wav, std::string& error) {
  std::error_code ignored;
  std::filesystem::remove(scratch_wav, ignored);  // the last utterance's file must not pass for this one's
  const std::string voice_name = voice.variant.empty() ? kEspeakVoice : std::string(kEspeakVoice) + "+" + voice.variant;
  const std::optional<ProgramRun> run =
      run_program({kEspeakProgram, "-v", voice_name, "-s", std::to_string(voice.speed), "-p",
                   std::to_string(voice.pitch), "-g", std::to_string(voice.gap), "-w", scratch_wav.string(), text},
                  kEspeakTimeLimit, error);
  if (!run) return std::nullopt;
  if (run->status != 0) {
    error = format_text("%s failed (exit status %d): %s", kEspeakProgram, run->status, first_line(run->output).c_str());
    return std::nullopt;
  }

  SF_INFO info{};
  const std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(scratch_wav.c_str(), SFM_READ, &info));
  if (!file) {
    error = format_text("%s wrote no readable WAV file: %s", kEspeakProgram, sf_strerror(nullptr));
    return std::nullopt;
  }
  if (info.channels < 1 || info.samplerate < 1 || info.frames <= 0) {
    error = format_text("%s wrote a WAV file without audio", kEspeakProgram);
    return std::nullopt;
  }
  std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
  const sf_count_t frames = std::max<sf_count_t>(sf_readf_float(file.get(), interleaved.data(), info.frames), 0);
  std::vector<float> mono(static_cast<std::size_t>(frames));
  for (std::size_t frame = 0; frame < mono.size(); ++frame) {
    double sum = 0.0;
    for (int channel = 0; channel < info.channels; ++channel) {
      sum += interleaved[frame * static_cast<std::size_t>(info.channels) + static_cast<std::size_t>(channel)];
    }
    mono[frame] = static_cast<float>(sum / info.channels);
  }
  std::string reason;
  std::optional<std::vector<float>> speech = speech_at_station_rate(mono, info.samplerate, reason);
  if (!speech) error = format_text("%s: %s", kEspeakProgram, reason.c_str());
  return speech;
}

}  // namespace kws::corpus

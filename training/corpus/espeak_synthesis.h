// Speech from espeak-ng's Mandarin pinyin voice, run as a child process.
//
// espeak-ng gets an argument vector, never a shell command line, so no text
// of a recipe can turn into a command. It writes a WAV file that is read back,
// trimmed and resampled to 16 kHz in this process.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "corpus/recipe.h"

namespace kws::corpus {

inline constexpr char kEspeakProgram[] = "espeak-ng";
inline constexpr char kEspeakVoice[] = "cmn-latn-pinyin";

struct EspeakVoice {
  std::string variant;  // e.g. "m1"; empty for the plain voice
  int speed = 175;      // -s, words per minute
  int pitch = 50;       // -p, 0..99
  int gap = 0;          // -g, pause between words in 10 ms
};

// The espeak input of a text: the syllables of a word joined by hyphens,
// words and pauses (",") separated by blanks, e.g. "tai2-bei3 zhan4".
// The voice reads a hyphenated word as one word, so the word gap falls between
// words only; written together without hyphens, some syllables run into
// their neighbours ("ba1o1" is read as bao) or send the word to the English
// rules ("ba1qyong2"). Every syllable must be one espeak_pinyin can spell.
std::string espeak_input(const std::vector<TextToken>& text);

// The variant names espeak-ng offers (from --voices=variant, e.g. "m1",
// "f2", "klatt"); nullopt with error when espeak-ng cannot be run.
std::optional<std::vector<std::string>> espeak_variants(std::string& error);

// Runs espeak-ng on text with voice, writing its WAV to scratch_wav, and
// returns the speech trimmed and resampled to 16 kHz (full scale 1.0);
// nullopt with error when espeak-ng is missing or fails, or gives no speech.
std::optional<std::vector<float>> synthesise_speech(const EspeakVoice& voice, const std::string& text,
                                                    const std::filesystem::path& scratch_wav, std::string& error);

}  // namespace kws::corpus

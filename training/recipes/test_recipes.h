// The test corpora, spoken in held-out voices only: the station's bundled
// batch recordings with their keyword reference table, and the larger
// evaluation with its references.
//
// Bundled: tr1_1 .. tr1_50, sentences of 3 to 7 s with one to three stations
// of 火車系統 (about ten with none, about fifteen with noise at 10-20 dB),
// and n34512, one clean sentence of 5 to 7 s for the free-syllable decoding.
// Evaluation: for each of four vocabularies 30 sentences with one or two
// entries (a fifth with none), each said in three conditions: clean, at
// 20 dB and at 10 dB SNR. The same sentence in the same voice in every
// condition, so the conditions differ only by the noise.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recipes/corpus_sources.h"
#include "recipes/recipe.h"

namespace kws::recipes {

inline constexpr char kBatchVocabulary[] = "火車系統";
inline constexpr int kBatchRecords = 50;
inline constexpr int kBatchRecordsWithoutEntries = 10;
inline constexpr int kBatchNoisyRecords = 15;
inline constexpr char kLatticeUtterance[] = "n34512";
// What n34512 says: everyday words, no names (a carrier without slots).
inline constexpr std::string_view kLatticeSentence = "今天 下午 我 和 幾個 朋友 一起 到 公園 散步 , 天氣 非常 舒服";

// Test sentences are to last 3 to 7 s. Their estimated length stays this far
// inside, since a sentence strays from the estimate by about 8%.
inline constexpr double kShortestTestSeconds = 3.4;
inline constexpr double kLongestTestSeconds = 6.3;

struct EvaluationVocabulary {
  std::string_view name;  // as the station names it
  std::string_view tag;   // ASCII, in the utterance names
};
inline constexpr EvaluationVocabulary kEvaluationVocabularies[] = {
    {"火車系統", "trains"}, {"人名", "names"}, {"股票", "stocks"}, {"銀行", "banks"}};
inline constexpr int kEvaluationSentences = 30;  // per vocabulary

// An utterance of a test corpus and the entries it says, in spoken order.
struct TestUtterance {
  Utterance utterance;
  std::string vocabulary;            // UTF-8; empty for n34512
  std::vector<std::string> entries;  // Big5
};

struct TestReport {
  std::vector<std::string> dropped_carriers;  // UTF-8: carriers that hold an entry themselves
  double shortest_seconds = 0;
  double longest_seconds = 0;
};

// tr1_1 .. tr1_50 then n34512; nullopt with an error when 火車系統 is not
// among the vocabularies or a carrier cannot be read.
std::optional<std::vector<TestUtterance>> bundled_test(const CorpusSources& sources, std::uint64_t seed,
                                                       TestReport& report, std::string& error);

// train_index.txt (Big5): "i n name1 ... namen", one record per line.
std::string train_index_text(const std::vector<TestUtterance>& bundled);

std::optional<std::vector<TestUtterance>> evaluation(const CorpusSources& sources, std::uint64_t seed,
                                                     TestReport& report, std::string& error);

// "<name>.wav<TAB><vocabulary><TAB><entry>|<entry>..." per utterance, UTF-8.
std::string evaluation_references_text(const std::vector<TestUtterance>& utterances);

}  // namespace kws::recipes

// Tonal Zhuyin syllables as input for espeak-ng's Mandarin pinyin voice
// (cmn-latn-pinyin), so that synthesised training speech and its labels agree
// syllable for syllable.
//
// Standard pinyin with the tone as a digit (1-4, 5 for the neutral tone), with
// the spellings this voice needs to say a syllable right: ㄐㄑㄒ + ㄩㄥ as
// jyong/qyong/xyong (jiong/qiong/xiong lose the glide), ㄌㄩㄢ as lyuan (lüan
// is read as two syllables), ㄧㄞˊ as yái (yai2 is read as two syllables), and
// ㄝ alone as ê.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kws::corpus {

// The espeak input of a tonal syllable in Big5 (symbols then one tone mark),
// e.g. "ㄊㄞˊ" -> "tai2"; nullopt for text that is no Zhuyin syllable.
std::optional<std::string> espeak_pinyin(std::string_view big5_syllable);

}  // namespace kws::corpus

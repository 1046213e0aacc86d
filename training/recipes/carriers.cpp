#include "recipes/carriers.h"

#include <array>

#include "platform/text_encoding.h"

namespace kws::recipes {
namespace {

using Templates = std::span<const std::string_view>;

// Short phrases a user says to the station, one to three entries each.
constexpr std::string_view kTrainingStations[] = {
    "我 要 去 {}",      "下一站 是 {}",  "請問 {} 到 了 嗎",     "一張 到 {} 的 票",    "從 {} 到 {}",
    "我 在 {} 下車",    "{} 站 到 了",   "這 班 車 有 停 {} 嗎", "{} , {} 和 {}",       "經過 {} , {} , 到 {}",
    "我 住 在 {} 附近", "往 {} 的 火車", "{} 換 車 到 {}",       "兩張 {} 到 {} 的 票",
};
constexpr std::string_view kTrainingPeople[] = {
    "打電話 給 {}",
    "我 想 找 {}",
    "{} 在 嗎",
    "請 {} 回 電話",
    "{} 和 {} 是 朋友",
    "幫 我 聯絡 {}",
    "{} , {} 和 {} 都 來 了",
    "請問 {} 在 家 嗎",
    "這 是 {} 寫 的",
    "{} 找 {}",
};
constexpr std::string_view kTrainingStocks[] = {
    "{} 的 股價",    "查詢 {} 的 股價",  "我 想 買 {}",           "賣出 {}",          "{} 今天 漲 了",
    "{} 跌 了 很多", "{} 和 {} 的 股價", "{} , {} , {} 都 漲 了", "請 報 {} 的 行情", "買 {} 賣 {}",
};
constexpr std::string_view kTrainingBanks[] = {
    "我 要 去 {} 開戶", "{} 的 電話",       "轉帳 到 {}",      "{} 幾點 開門",
    "把 錢 存 在 {}",   "{} 和 {} 的 利率", "{} , {} 還是 {}", "最近 的 {} 在 哪裡",
};
constexpr std::string_view kTrainingSongs[] = {
    "我 想 聽 {}", "播放 {}",           "點 一首 {}",    "下一首 是 {}",
    "{} 這首 歌",  "先 唱 {} 再 唱 {}", "{} , {} 和 {}", "幫 我 點 {}",
};
constexpr std::string_view kTrainingDigits[] = {
    "號碼 是 {} {} {}", "請 按 {}", "{} 號", "第 {} 個", "{} {} {}", "選 {}", "{} 和 {}",
};
constexpr std::string_view kTrainingSyllables[] = {
    "{} 這個 字", "請 唸 {}", "{} , {} , {}", "寫 一個 {} 字", "{} 字 怎麼 寫", "{} 和 {}", "{} {}",
};
constexpr std::string_view kTrainingGeneral[] = {
    "請問 {}", "我 要 {}", "{} 在 哪裡", "{} 和 {}", "{} , {} , {}",
};

// Test sentences: longer, and never said in training.
constexpr std::string_view kTestStations[] = {
    "請問 下一班 往 {} 的 自強號 幾點 開",  "我 明天 早上 要 坐 火車 去 {} 找 朋友",
    "不好意思 , 這 班 車 會 不會 停 {}",    "列車 即將 抵達 {} , 要 下車 的 旅客 請 準備",
    "我 的 老家 在 {} , 每年 過年 都 回去", "請 給 我 一張 到 {} 的 來回票",
    "聽說 {} 附近 有 很多 好吃 的 東西",    "我 想 買 一張 從 {} 到 {} 的 車票",
    "這 班 區間車 從 {} 開 往 {}",          "他 每天 從 {} 坐 車 到 {} 上班",
    "請問 從 {} 到 {} 要 坐 多久",          "我們 先 在 {} 集合 , 然後 一起 去 {}",
    "這 班 車 會 經過 {} , {} 和 {}",       "我 去過 {} , {} 還有 {}",
    "從 {} 出發 , 經過 {} , 最後 到 {}",
};
constexpr std::string_view kTestPeople[] = {
    "請 幫 我 打電話 給 {} , 我 有 事情 找 他",
    "我 昨天 在 書店 看到 一本 寫 {} 的 書",
    "歷史 課 老師 今天 講 了 {} 的 故事",
    "你 知道 {} 是 哪 一年 出生 的 嗎",
    "{} 和 {} 是 同 一個 時代 的 人 嗎",
    "我 最 喜歡 的 人物 是 {} 和 {}",
    "報告 裡 提到 了 {} , {} 和 {}",
};
constexpr std::string_view kTestStocks[] = {
    "請 幫 我 查 一下 {} 今天 的 收盤價", "我 想 賣掉 手上 的 {} 股票", "新聞 說 {} 的 營收 創下 新高",
    "{} 和 {} 今天 都 漲停 了",           "我 打算 把 {} 換成 {}",      "這 禮拜 {} , {} 和 {} 的 表現 都 不錯",
};
constexpr std::string_view kTestBanks[] = {
    "我 想 在 {} 開 一個 新 的 帳戶", "請問 {} 的 房貸 利率 是 多少",  "我 的 薪水 是 轉 到 {} 的 帳戶",
    "明天 要 去 {} 辦理 信用卡",      "請 把 這 筆 錢 從 {} 轉 到 {}", "{} 和 {} 哪 一家 的 服務 比較 好",
    "我 在 {} , {} 和 {} 都 有 帳戶",
};
constexpr std::string_view kTestSongs[] = {
    "今天 晚上 我 想 唱 {} 這首 歌",
    "請 幫 我 把 {} 加到 歌單 裡",
    "我 最 喜歡 的 歌 是 {} 和 {}",
    "先 唱 {} , 再 唱 {} , 最後 唱 {}",
};
constexpr std::string_view kTestGeneral[] = {
    "請 幫 我 查 一下 {} 的 資料",
    "我 剛才 說 的 是 {} 和 {}",
    "我 記下 了 {} , {} 還有 {}",
};

constexpr std::string_view kSentencesWithoutEntries[] = {
    "今天 天氣 很 好 , 我們 出去 走走 吧",      "請問 洗手間 在 哪裡",
    "我 肚子 有點 餓 了 , 想 去 吃 點 東西",    "明天 早上 八點 要 開會 , 記得 不要 遲到",
    "這 本 書 很 有 意思 , 我 已經 看 了 兩遍", "你 今天 晚上 有 空 嗎 , 一起 去 看 電影",
    "外面 在 下雨 , 出門 記得 帶 傘",           "這個 週末 我 想 在 家 好好 休息",
    "他 說話 的 聲音 太 小 了 , 我 聽 不 清楚", "請 把 窗戶 打開 , 房間 裡 太 熱 了",
    "我們 下個 月 要 搬家 , 東西 還 沒有 整理", "你 知道 附近 哪裡 有 好吃 的 麵店 嗎",
    "早上 喝 杯 咖啡 , 精神 會 好 一點",        "謝謝 你 的 幫忙 , 改天 請 你 吃飯",
    "這 條 路 晚上 很 暗 , 走路 要 小心",
};

constexpr std::string_view kLeadIns[] = {
    "你好 ,", "請問 一下 ,", "麻煩 你 ,", "不好意思 ,", "喂 ,", "我 想 知道 ,", "對 了 ,",
};

constexpr std::string_view kSlot = "{}";

}  // namespace

Domain domain_of(std::string_view vocabulary_name) {
  struct Known {
    std::string_view name;
    Domain domain;
  };
  static constexpr std::array<Known, 10> kKnown = {{
      {"火車系統", Domain::stations},
      {"火車系統1", Domain::stations},
      {"人名", Domain::people},
      {"股票", Domain::stocks},
      {"銀行", Domain::banks},
      {"銀行(全)", Domain::banks},
      {"KTV排行榜", Domain::songs},
      {"數字", Domain::digits},
      {"408syl", Domain::syllables},
      {"408syllable", Domain::syllables},
  }};
  for (const Known& known : kKnown) {
    if (known.name == vocabulary_name) return known.domain;
  }
  return Domain::general;
}

std::span<const std::string_view> carrier_templates(Domain domain, CarrierUse use) {
  const bool training = use == CarrierUse::training;
  switch (domain) {
    case Domain::stations:
      return training ? Templates(kTrainingStations) : Templates(kTestStations);
    case Domain::people:
      return training ? Templates(kTrainingPeople) : Templates(kTestPeople);
    case Domain::stocks:
      return training ? Templates(kTrainingStocks) : Templates(kTestStocks);
    case Domain::banks:
      return training ? Templates(kTrainingBanks) : Templates(kTestBanks);
    case Domain::songs:
      return training ? Templates(kTrainingSongs) : Templates(kTestSongs);
    case Domain::digits:
      return training ? Templates(kTrainingDigits) : Templates(kTestGeneral);
    case Domain::syllables:
      return training ? Templates(kTrainingSyllables) : Templates(kTestGeneral);
    case Domain::general:
      break;
  }
  return training ? Templates(kTrainingGeneral) : Templates(kTestGeneral);
}

std::span<const std::string_view> sentences_without_entries() { return kSentencesWithoutEntries; }
std::span<const std::string_view> lead_ins() { return kLeadIns; }

std::optional<Carrier> read_carrier(std::string_view text, const TextReader& reader, std::string& error) {
  Carrier carrier;
  carrier.text = text;
  std::vector<std::string> piece;
  const auto finish_piece = [&]() {
    std::optional<std::vector<Word>> words = reader.read_words(piece);
    if (!words) {
      error = "carrier \"" + std::string(text) + "\": a word without a reading";
      return false;
    }
    carrier.pieces.push_back(std::move(*words));
    piece.clear();
    return true;
  };
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view token = text.substr(start, end - start);
    start = end + 1;
    if (token.empty()) continue;
    if (token == kSlot) {
      if (!finish_piece()) return std::nullopt;
    } else if (token == ",") {
      piece.emplace_back(",");
    } else {
      const std::optional<std::string> big5 = utf8_to_big5(token);
      if (!big5 || !lexical_data::split_hanzi(*big5)) {
        error = "carrier \"" + std::string(text) + "\": \"" + std::string(token) + "\" is not Big5 hanzi";
        return std::nullopt;
      }
      piece.push_back(*big5);
    }
  }
  if (!finish_piece()) return std::nullopt;
  return carrier;
}

std::optional<std::vector<Carrier>> read_carriers(std::span<const std::string_view> texts, const TextReader& reader,
                                                  std::string& error) {
  std::vector<Carrier> carriers;
  for (const std::string_view text : texts) {
    std::optional<Carrier> carrier = read_carrier(text, reader, error);
    if (!carrier) return std::nullopt;
    carriers.push_back(std::move(*carrier));
  }
  return carriers;
}

std::vector<Word> fill_carrier(const Carrier& carrier, std::span<const lexical_data::VocabularyEntry> entries) {
  std::vector<Word> words;
  for (std::size_t i = 0; i < carrier.pieces.size(); ++i) {
    words.insert(words.end(), carrier.pieces[i].begin(), carrier.pieces[i].end());
    if (i < entries.size() && i + 1 < carrier.pieces.size()) {
      words.push_back(Word{entries[i].name, entries[i].syllables});
    }
  }
  return words;
}

std::vector<const lexical_data::VocabularyEntry*> entries_in_text(std::string_view big5,
                                                                  const lexical_data::Vocabulary& vocabulary) {
  std::vector<const lexical_data::VocabularyEntry*> found;
  for (const lexical_data::VocabularyEntry& entry : vocabulary.entries) {
    if (contains_text(big5, entry.name)) found.push_back(&entry);
  }
  return found;
}

Carrier with_lead_in(const Carrier& carrier, const std::vector<Word>& lead_in) {
  Carrier longer = carrier;
  longer.pieces.front().insert(longer.pieces.front().begin(), lead_in.begin(), lead_in.end());
  return longer;
}

bool says_only(const Carrier& carrier, std::span<const lexical_data::VocabularyEntry> entries,
               const lexical_data::Vocabulary& vocabulary) {
  // The text and where each entry put in lies, in bytes.
  std::string text;
  std::vector<std::pair<std::size_t, std::size_t>> spoken;
  for (std::size_t i = 0; i < carrier.pieces.size(); ++i) {
    text += big5_text(carrier.pieces[i]);
    if (i < entries.size() && i + 1 < carrier.pieces.size()) {
      spoken.emplace_back(text.size(), text.size() + entries[i].name.size());
      text += entries[i].name;
    }
  }
  for (const lexical_data::VocabularyEntry& entry : vocabulary.entries) {
    const std::string_view name = entry.name;
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
      if (at % 2 != 0) continue;
      bool inside = false;
      for (const auto& [start, end] : spoken) inside = inside || (at >= start && at + name.size() <= end);
      if (!inside) return false;
    }
  }
  return true;
}

}  // namespace kws::recipes

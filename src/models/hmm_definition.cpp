#include "models/hmm_definition.h"

#include <cmath>
#include <optional>

#include "models/model_inventory.h"
#include "platform/data_path.h"
#include "platform/message_sink.h"
#include "platform/token_reader.h"

namespace kws {
namespace {

// Zero and negative probabilities are floored before the logarithm.
constexpr float kProbabilityFloor = 1e-30f;

class DefinitionParser {
 public:
  DefinitionParser(std::string text, std::string_view path, HmmModel& record)
      : tokens_(std::move(text)), path_(path), record_(record) {}

  std::string run() {
    while (error_.empty()) {
      const std::optional<std::string_view> token = tokens_.next();
      if (!token || *token == "<EndHMM>") break;
      apply(*token);
    }
    return error_;
  }

 private:
  void apply(std::string_view keyword) {
    if (keyword == "<BeginHMM>" || keyword == "<MFCC_D>" || keyword == "<NULLD>" ||
        keyword == "<DIAGC>") {
      return;
    }
    if (keyword == "<NumStates>") return read_state_count();
    if (keyword == "<State>") return read_state();
    if (keyword == "<NumMixes>") return read_mixture_count();
    if (keyword == "<Mixture>") return read_mixture();
    if (keyword == "<Mean>") return read_vector(keyword, false);
    if (keyword == "<Variance>") return read_vector(keyword, true);
    if (keyword == "<GConst>") return read_gconst();
    if (keyword == "<TransP>") return read_transitions();
    if (keyword == "<VecSize>") return void(skip(keyword, 1));
    if (keyword == "<StreamInfo>") return void(skip(keyword, 2));
    message_sink().console(format_text("Idiot %.*s\n", static_cast<int>(keyword.size()), keyword.data()));
  }

  void read_state_count() {
    const std::optional<long> count = integer("<NumStates>");
    if (!count) return;
    if (*count < 2 || *count > kMaxStateCount) {
      return refuse(format_text("<NumStates> %ld is outside 2..%d", *count, kMaxStateCount));
    }
    record_.state_count = static_cast<std::int16_t>(*count);
    state_count_known_ = true;
  }

  void read_state() {
    const std::optional<long> state = integer("<State>");
    if (!state) return;
    if (!state_count_known_) return refuse(format_text("<State> %ld before <NumStates>", *state));
    if (*state < 2 || *state > record_.state_count - 1) {
      return refuse(format_text("<State> %ld is outside 2..%d for <NumStates> %d", *state,
                                record_.state_count - 1, record_.state_count));
    }
    state_slot_ = static_cast<int>(*state) - 1;
  }

  void read_mixture_count() {
    const std::optional<long> count = integer("<NumMixes>");
    if (!count || !inside_state("<NumMixes>")) return;
    if (*count < 0 || *count > kMixtureSlots) {
      return refuse(format_text("<NumMixes> %ld is outside 0..%d", *count, kMixtureSlots));
    }
    record_.mixture_count[state_slot_] = static_cast<std::int16_t>(*count);
  }

  void read_mixture() {
    const std::optional<long> component = integer("<Mixture>");
    if (!component) return;
    const std::optional<float> weight = real("<Mixture>");
    if (!weight || !inside_state("<Mixture>")) return;
    if (*component < 1 || *component > kMixtureSlots) {
      return refuse(format_text("<Mixture> %ld is outside 1..%d", *component, kMixtureSlots));
    }
    component_slot_ = static_cast<int>(*component) - 1;
    record_.weight[state_slot_][component_slot_] = *weight;
  }

  // <Mean> and <Variance>: a size operand (ignored), then always 24 values.
  void read_vector(std::string_view keyword, bool reciprocal) {
    if (!skip(keyword, 1) || !inside_state(keyword)) return;
    float* target = reciprocal ? record_.inverse_variance[state_slot_][component_slot_]
                               : record_.mean[state_slot_][component_slot_];
    for (int k = 0; k < kFeatureDimension; ++k) {
      const std::optional<float> value = real(keyword);
      if (!value) return;
      target[k] = reciprocal ? 1.0f / *value : *value;
    }
  }

  void read_gconst() {
    const std::optional<float> value = real("<GConst>");
    if (!value || !inside_state("<GConst>")) return;
    record_.gconst[state_slot_][component_slot_] = *value;
  }

  void read_transitions() {
    if (!state_count_known_) return refuse("<TransP> before <NumStates>");
    if (!skip("<TransP>", 1)) return;
    const int n = record_.state_count;
    for (int row = 0; row < n; ++row) {
      for (int column = 0; column < n; ++column) {
        std::optional<float> probability = real("<TransP>");
        if (!probability) return;
        if (!(*probability > 0.0f)) probability = kProbabilityFloor;
        record_.log_transition[row][column] = static_cast<float>(std::log(static_cast<double>(*probability)));
      }
    }
  }

  bool skip(std::string_view keyword, int count) {
    for (int i = 0; i < count; ++i) {
      if (!operand(keyword)) return false;
    }
    return true;
  }

  std::optional<std::string_view> operand(std::string_view keyword) {
    std::optional<std::string_view> token = tokens_.next();
    if (!token) {
      refuse(format_text("the file ends inside %.*s", static_cast<int>(keyword.size()), keyword.data()));
    }
    return token;
  }

  std::optional<long> integer(std::string_view keyword) {
    const std::optional<std::string_view> token = operand(keyword);
    if (!token) return std::nullopt;
    std::optional<long> value = parse_integer(*token);
    if (!value) refuse_number(keyword, *token, "an integer");
    return value;
  }

  std::optional<float> real(std::string_view keyword) {
    const std::optional<std::string_view> token = operand(keyword);
    if (!token) return std::nullopt;
    std::optional<float> value = parse_real(*token);
    if (!value) refuse_number(keyword, *token, "a number");
    return value;
  }

  bool inside_state(std::string_view keyword) {
    if (state_slot_ >= 0) return true;
    refuse(format_text("%.*s before any <State>", static_cast<int>(keyword.size()), keyword.data()));
    return false;
  }

  void refuse_number(std::string_view keyword, std::string_view token, const char* expected) {
    refuse(format_text("%.*s expects %s, found \"%.*s\"", static_cast<int>(keyword.size()),
                       keyword.data(), expected, static_cast<int>(token.size()), token.data()));
  }

  void refuse(const std::string& reason) {
    if (error_.empty()) error_ = format_text("%.*s: %s", static_cast<int>(path_.size()), path_.data(), reason.c_str());
  }

  TokenReader tokens_;
  std::string_view path_;
  HmmModel& record_;
  bool state_count_known_ = false;
  int state_slot_ = -1;     // undefined until the first <State>
  int component_slot_ = 0;  // <Mixture> changes it; <State> does not reset it
  std::string error_;
};

}  // namespace

std::string parse_hmm_definition(std::string text, std::string_view name, std::string_view path,
                                 HmmModel& record) {
  for (int state = 0; state < kStateSlots; ++state) {
    record.mixture_count[state] = 1;
    for (int component = 0; component < kMixtureSlots; ++component) record.weight[state][component] = 1.0f;
  }
  record.model_index = static_cast<std::int16_t>(model_index_of(name));
  return DefinitionParser(std::move(text), path, record).run();
}

std::optional<Refusal> read_hmm_definition(std::string_view data_directory, std::string_view name, HmmModel& record) {
  const std::string path = join_data_path(data_directory, std::string("\\model\\bsl\\").append(name));
  std::optional<std::string> text = read_file_bytes(path);
  if (!text) return Refusal::in_message_box(format_text("Open HMM %s error!\n", path.c_str()));
  const std::string refusal = parse_hmm_definition(std::move(*text), name, path, record);
  if (!refusal.empty()) return Refusal::on_console(refusal + "\n");
  return std::nullopt;
}

std::string write_hmm_definition(const HmmModel& model) {
  std::string text = "<BeginHMM>\n";
  text += format_text("<NumStates> %d\n", model.state_count);
  for (int slot = 1; slot <= model.state_count - 2; ++slot) {
    text += format_text("<State> %d\n<NumMixes> %d\n", slot + 1, model.mixture_count[slot]);
    for (int component = 0; component < model.mixture_count[slot]; ++component) {
      text += format_text("<Mixture> %d %.9g\n<Mean> %d\n", component + 1, model.weight[slot][component],
                          kFeatureDimension);
      for (int k = 0; k < kFeatureDimension; ++k) {
        text += format_text(k + 1 < kFeatureDimension ? "%.9g " : "%.9g\n", model.mean[slot][component][k]);
      }
      text += format_text("<Variance> %d\n", kFeatureDimension);
      for (int k = 0; k < kFeatureDimension; ++k) {
        const float variance = 1.0f / model.inverse_variance[slot][component][k];
        text += format_text(k + 1 < kFeatureDimension ? "%.9g " : "%.9g\n", variance);
      }
      text += format_text("<GConst> %.9g\n", model.gconst[slot][component]);
    }
  }
  const int n = model.state_count;
  text += format_text("<TransP> %d\n", n);
  for (int row = 0; row < n; ++row) {
    for (int column = 0; column < n; ++column) {
      const double probability = std::exp(static_cast<double>(model.log_transition[row][column]));
      text += format_text(column + 1 < n ? "%.9g " : "%.9g\n", probability);
    }
  }
  text += "<EndHMM>\n";
  return text;
}

}  // namespace kws

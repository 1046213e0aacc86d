#include "cli/outcome_printing.h"

#include <cstdio>

#include "platform/text_encoding.h"

namespace kws::cli {

const char* refusal_text(UtteranceRefusal refusal) {
  switch (refusal) {
    case UtteranceRefusal::empty_vocabulary:
      return "the vocabulary has no entries";
    case UtteranceRefusal::too_short:
      return "the recording is 0.4 s or shorter";
    case UtteranceRefusal::too_long:
      return "the recording is longer than 8 s, all the sample buffer holds";
    case UtteranceRefusal::offset:
      return "the recording's mean sample value is beyond +/-500 (a DC offset)";
    case UtteranceRefusal::too_short_after_trimming:
      return "less than 0.3 s is left after trimming the trailing silence";
    case UtteranceRefusal::none:
      break;
  }
  return "refused";
}

void print_keyword_lines(const RecognitionOutcome& outcome, std::int64_t frame_offset, bool details) {
  if (!outcome.recognised()) return;
  for (const AcceptedKeyword& keyword : outcome.accepted) {
    std::printf("%s\t%lld\t%lld\n", big5_to_utf8(keyword.name).c_str(),
                static_cast<long long>(frame_offset + keyword.start_frame),
                static_cast<long long>(frame_offset + keyword.end_frame));
  }
  if (!details) return;
  for (const DisplayedResult& result : outcome.results) {
    for (const std::string& line : result.detail) std::printf("%s\n", big5_to_utf8(without_line_end(line)).c_str());
  }
}

void write_outcome_members(JsonWriter& json, const RecognitionOutcome& outcome, std::int64_t frame_offset) {
  const auto frame = [frame_offset](std::int16_t value) { return frame_offset + value; };
  json.key("status").value(outcome.recognised() ? "recognised" : "refused");
  if (!outcome.recognised()) {
    json.key("reason").value(refusal_text(outcome.refusal));
    return;
  }
  json.key("frames").value(outcome.frame_count);
  json.key("accepted").begin_array();
  for (const AcceptedKeyword& keyword : outcome.accepted) {
    json.begin_object()
        .key("name")
        .value(big5_to_utf8(keyword.name))
        .key("start_frame")
        .value(frame(keyword.start_frame))
        .key("end_frame")
        .value(frame(keyword.end_frame))
        .end_object();
  }
  json.end_array();
  json.key("results").begin_array();
  int rank = 0;
  for (const DisplayedResult& result : outcome.results) {
    json.begin_object()
        .key("rank")
        .value(++rank)
        .key("entry")
        .value(result.entry + 1)
        .key("name")
        .value(big5_to_utf8(result.name))
        .key("score")
        .value(static_cast<double>(result.score))
        .key("start_frame")
        .value(frame(result.start_frame))
        .key("end_frame")
        .value(frame(result.end_frame))
        .key("accepted")
        .value(result.accepted)
        .key("keyword_score")
        .value(static_cast<double>(result.keyword_score))
        .key("anti_score")
        .value(static_cast<double>(result.anti_score))
        .key("filler_score")
        .value(static_cast<double>(result.filler_score))
        .key("confidence")
        .begin_array();
    for (const float value : result.confidence) json.value(static_cast<double>(value));
    json.end_array();
    json.key("syllable_bounds").begin_array();
    for (const std::int16_t bound : result.syllable_bounds) json.value(frame(bound));
    json.end_array();
    json.key("unit_bounds").begin_array();
    for (const std::int16_t bound : result.unit_bounds) json.value(frame(bound));
    json.end_array().end_object();
  }
  json.end_array();
  const PassTimes& times = outcome.times;
  json.key("times_ms")
      .begin_object()
      .key("forward")
      .value(times.forward_end - times.start)
      .key("search")
      .value(times.verification_start - times.start)
      .key("total")
      .value(times.verification_end - times.start)
      .end_object();
}

}  // namespace kws::cli

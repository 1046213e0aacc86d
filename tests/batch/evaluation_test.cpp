// Evaluation against a reference list: the threshold sweep's decisions and
// its figure of merit on hand-made outcomes.
#include "batch/evaluation.h"

#include <gtest/gtest.h>

namespace kws {
namespace {

DisplayedResult result(const std::string& name, float v1, bool meets_duration_rules) {
  DisplayedResult shown;
  shown.name = name;
  shown.confidence = {v1, 0.0f, 0.0f};
  shown.meets_duration_rules = meets_duration_rules;
  return shown;
}

TEST(EvaluationSweep, AThresholdAcceptsWhatTheStationWouldAcceptThere) {
  RecognitionOutcome outcome;
  outcome.results = {result("a", 0.45f, true), result("b", 0.39f, true), result("c", 0.60f, false),
                     result("d", 0.31f, true)};
  const auto names = [&](double threshold) {
    std::string joined;
    for (const AcceptedKeyword& keyword : accepted_at(outcome, threshold)) joined += keyword.name;
    return joined;
  };
  // 0.39f lies just below 0.39: the station rejects it at its own threshold.
  EXPECT_EQ(names(0.39), "a");
  EXPECT_EQ(names(0.30), "abd");  // display order kept; c fails the duration rules at any threshold
  EXPECT_EQ(names(0.50), "");

  const std::vector<double> thresholds = sweep_thresholds();
  ASSERT_EQ(thresholds.size(), 21u);
  EXPECT_EQ(thresholds.front(), 0.30);
  EXPECT_EQ(thresholds[9], 0.39);
  EXPECT_EQ(thresholds.back(), 0.50);

  EvaluationItem item;
  item.entries = {"a", "x"};
  const EvaluationCounts counts = score_evaluation_item(item, accepted_at(outcome, 0.30));
  EXPECT_EQ(counts.references, 2);
  EXPECT_EQ(counts.detected, 1);
  EXPECT_EQ(counts.accepted, 3);
  EXPECT_EQ(counts.false_alarms, 2);
}

TEST(EvaluationSweep, FigureOfMeritIsTheMeanDetectionOverTheFalseAlarmRange) {
  const auto point = [](int detected, int false_alarms, int accepted) {
    SweepPoint p;
    p.counts.references = 10;
    p.counts.detected = detected;
    p.counts.accepted = accepted;
    p.counts.false_alarms = false_alarms;
    return p;
  };
  // (fa, det): (0.5, 0.9), (0.25, 0.8), (0, 0.4): trapezoids 0.25 x 0.85 and
  // 0.25 x 0.6 over a width of 0.5.
  const std::vector<SweepPoint> curve = {point(9, 5, 10), point(8, 2, 8), point(4, 0, 4)};
  EXPECT_NEAR(*figure_of_merit(curve), 0.725, 1e-12);
  // One false-alarm rate only: the mean detection.
  EXPECT_NEAR(*figure_of_merit(std::vector<SweepPoint>{point(9, 0, 10), point(5, 0, 5)}), 0.7, 1e-12);
  // Points without an accepted keyword carry no rate.
  EXPECT_FALSE(figure_of_merit(std::vector<SweepPoint>{point(0, 0, 0)}));
  EXPECT_NEAR(*figure_of_merit(std::vector<SweepPoint>{point(0, 0, 0), point(6, 1, 4)}), 0.6, 1e-12);
}

}  // namespace
}  // namespace kws

#pragma once

#include "Corpus.hpp"

#include "analysis/AnalysisModel.hpp"
#include "analysis/BeatTracker.hpp"
#include "analysis/TrackFeatures.hpp"

#include <functional>
#include <string>
#include <vector>

namespace kalvotune::training {

/// A training piece: what the analysis measured in its sound and what its labels say.
struct Piece {
    analysis::TrackFeatures features;
    analysis::BeatGrid grid;
    corpus::Labels labels;
    std::string name;
};

/// How the three figures of the evaluation come out on some pieces (means over pieces).
struct Figures {
    double beats{}, bars{}, roots{};
};

/// The figures the evaluation gives for `pieces` under `model`: markers within 100 ms of
/// a beat (slider at 0.4 s) and of a bar start (slider at 2 s), and the share of ticks
/// whose root is the labelled chord's.
Figures Measure(const std::vector<Piece>& pieces, const analysis::AnalysisModel& model);

/// One line a piece: its metre, the labelled beat against the grid's before and after the
/// model's corrections, and its three figures.
void Report(const std::vector<Piece>& pieces, const analysis::AnalysisModel& model,
    const std::function<void(const std::string&)>& log);

/// Fits every weight and constant of the model on `pieces` alone, with fixed seeds: the
/// chord regression, then its change price, the grid corrections (phase and tempo), then
/// the bar regression on the corrected grids, the bar accents with the metres' bonuses,
/// and the bonuses and the section margin once more. `log` hears what each step reached.
analysis::AnalysisModel Train(const std::vector<Piece>& pieces, const std::function<void(const std::string&)>& log);

} // namespace kalvotune::training

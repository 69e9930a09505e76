// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The caption line under a saved figure: the values that made the run, in
// the order a reader looks for them ("BETA 0.1, TOL 0.1, MAX 2000, 9 × 8,
// 50 sets per n, seed 7").
#include <string>
#include <string_view>
#include <vector>

#include "core/analysis/analysisrun.h"
#include "core/engine/observer.h"

namespace duolink::analysis {

// BETA, TOL, MAX and the shape (A Len × B Len) as `parameters` sets them,
// leaving out the parameters named in `varied` (a sweep's axes).
std::string parametersCaption(std::string_view parameters, const std::vector<int>& varied = {});

// The caption of a training: its values and the number of pairs.
std::string trainingCaption(const TrainingStart& start);

// The caption of a capacity run or a sweep.
std::string figureCaption(const AnalysisSpec& request);

} // namespace duolink::analysis

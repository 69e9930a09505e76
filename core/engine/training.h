#pragma once
// The two engine runs a Solve starts: the job opening and the training run.
#include <string>

#include "core/engine/state.h"
#include "core/observer.h"

namespace duolink {

// Second line of both banners.
std::string bannerLine();

void jobOpening(const std::string& aName, const std::string& bName, const std::string& parametersName);
// Returns how the training ended: every pair recalled, or the limit reached.
RunEnd trainingRun(const std::string& parametersName);

void buildStartingMatrix();
void writeWMatrixReport(const Matrix& m, int rows, int cols);
void simulationPass();
double logisticTransfer(double v);

} // namespace duolink

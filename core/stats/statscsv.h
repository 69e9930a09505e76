#pragma once
// The training statistics as CSV: one line per presentation, each real in the
// shortest form that reads back to the same double.
#include <string>

#include "core/support/textfile.h"
#include "core/engine/observer.h"

namespace duolink {

inline constexpr const char* kStatsHeader = "presentation,r2,missed_pairs,bit_errors,ber_total,all_recalled";

// Appends one line, '\n' included.
void appendStatsLine(std::string& out, const PresentationRecord& record);

// Writes the lines as the run goes, each one flushed, so that a file being
// followed (`tail -f`) or a run that ends early keeps every presentation made.
// A failed write raises RunError and so ends the run.
class StatsFileWriter final : public TrainingObserver {
public:
    // Creates (or empties) the file and writes the header.
    void open(const std::string& path);
    void close() { file_.close(); }

    void trainingStarted(const TrainingStart&) override {}
    void presentationMade(const PresentationRecord& record) override;
    void solveEnded(RunEnd) override {}

private:
    ReportFile file_;
    std::string line_;
};

} // namespace duolink

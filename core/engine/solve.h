#pragma once
// The Solve command's engine side, and the job's fixed file names.

namespace duolink {

inline constexpr const char* kADataFileName = "adata200.dat";
inline constexpr const char* kBDataFileName = "bdata200.dat";
inline constexpr const char* kParametersFileName = "veld200gSetup.dat";
inline constexpr const char* kReportFileName = "vld33res.txt";

// Solve after the guard: writes the job files from the pattern list, clears
// the 9 x 9 block, copies the matrix stores, then runs jobOpening and
// trainingRun. Raises RunError (I/O or arithmetic) or JobTerminated (fatal
// input error); every engine file is closed when it returns or raises.
void solveJob();

// The same run on the job files already in the working directory (the
// headless runner): no job files are written.
void solveExistingJob();

// Closes the engine's three files without raising.
void closeEngineFiles() noexcept;

} // namespace duolink

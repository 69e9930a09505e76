#pragma once
// Job data files, the parameters file and the readers behind them.
#include <string>
#include <string_view>

#include "core/engine/state.h"

namespace duolink {

// Writes "adata200.dat" and "bdata200.dat" from the pattern list, each closed
// by a "9999" line, into `folder` (the working directory when empty). The two
// are replaced together: on failure both old files stay as they were.
void writeJobFiles(const std::string& folder = {});

// True when a regular file of that name (cut to its first 20 characters) can
// be opened for reading; a folder of that name is not a file.
bool fileExists(std::string_view name);

// The simulation file: the entry of the working directory whose name is
// "nutest.dat" in any letter case ("nutest.dat" itself when it exists).
// Empty when there is none.
std::string simulationFileName();

// Read the parameters file into the engine state, echo it to the report
// file and put "Unity= " / "Unity RD= " into the pane.
void readParameters(const std::string& name);
void readParametersRD(const std::string& name);

// Reads the W matrix section that follows the parameters.
void readWMatrix(Matrix& m, int rows, int cols, TextReader& f);

void openADataFile();
void openBDataFile();
// One pattern group of aLen (bLen) values.
void readAVector(Vector& v, TextReader& f);
void readBVector(Vector& v);
// Number of pattern groups in the A data file before the sentinel group.
int countPatterns();

} // namespace duolink

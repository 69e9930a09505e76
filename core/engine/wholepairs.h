#pragma once
// The pair test of quiet runs on 0/unity patterns with whole weights
// (EngineState::testWholePair, wholepairs.cpp), and what it keeps from pair
// to pair within one run.

namespace duolink {

struct WholePairMemo {
    // A bound on the magnitude of the weights; negative when not known.
    double bound = -1;
    // The smallest difference from B that misses; negative when not known.
    double missFrom = -1;
};

// The change the pair test's correction makes to a weight whose A value is
// unity, for the error value e: Round(((unity * e) * beta) / unity) made in
// extended precision and stored to a double, as the general correction
// makes it; e is a whole number of magnitude below 2^53.
double unityRowCorrection(double e, int unity, double beta);

} // namespace duolink

// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How an engine does its arithmetic. Every shortcut of the engine gives the
// same bits as the plain loops of reference.h; these switches turn them off,
// to check that or to look for a fault. Read once when a program starts and
// handed to each engine it makes.
namespace duolink {

struct EngineOptions {
    // Only the reference arithmetic: no shortcut, no vector steps.
    bool referenceArithmetic = false;
    // The shortcuts, but not the steps for processors with AVX2 and FMA.
    bool portableOnly = false;
};

// DUOLINK_REFERENCE_ARITHMETIC=1 and DUOLINK_NO_AVX2=1 from the environment;
// any other value, or none, leaves the switch off.
EngineOptions engineOptionsFromEnvironment();

} // namespace duolink

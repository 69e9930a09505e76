// SPDX-License-Identifier: GPL-3.0-or-later
// The test of one pattern pair against the W matrix, and its correction:
// EngineState::testPattern, scorePattern, fitTerm, correctWeights and
// trainingTransfer, on the arithmetic of reference.h.
#include "core/engine/state.h"

#include <cmath>

#include "core/support/numtext.h"

namespace duolink {

// testPattern's own steps, inline: they run at every pair.
inline void EngineState::showPairPatterns(const Vector& a, const Vector& b, int aLength, int n, PatternTexts* kept)
{
    const bool shows = !quiet;
    if (shows) {
        char number[24];
        consoleWrite(std::string_view(number, static_cast<size_t>(writeWholeText(number, presentationNo, 8) - number)));
        consoleWrite("Input: ");
    }
    printScaledVector(a, aLength, kept ? &kept->paneA : nullptr);
    if (shows) {
        consoleWriteLn();
        consoleWrite("Expected: ");
    }
    printScaledVector(b, n, kept ? &kept->paneB : nullptr);
    if (shows)
        consoleWriteLn();
}

inline void EngineState::showCalcVector(const char* label, int n)
{
    if (!quiet)
        consoleWrite(label);
    printScaledVector(calcVector, n);
}

bool EngineState::testPattern(const Vector& a, const Vector& b, int aLength, Matrix& w, int n, PatternTexts* kept,
                              int pair)
{
    const bool shows = !quiet;
    // A pair of 0/unity patterns on whole weights: the quiet test's steps
    // for the product, the count, the errors and the correction, which give
    // the general ones' results; the texts and their order are the same.
    const WholePairMemo::Pair* const whole = shows && &w == &wMatrix ? qualifiedWholePair(pair, a, b, aLength, n) : nullptr;
    if (!whole) {
        wholePairs_.bound = -1;
        wholePairs_.large = -1;
    }
    showPairPatterns(a, b, aLength, n, kept);

    if (whole)
        sumWholeRows(*whole, n);
    else
        vectorMatrixProduct(w, aLength, n, calcVector, a);
    if (transferFunction == kTrainingTransfer)
        for (int i = 1; i <= n; ++i)
            calcVector[i] = trainingTransfer(calcVector[i]);
    showCalcVector("Calc: ", n);
    if (shows)
        consoleWriteLn();

    const bool ok = scoreBitErrors(whole ? wholeBitErrors(*whole, n) : bitErrors(b, calcVector, n));
    if (runOption == kTestAndPatternLines && shows) {
        reportFile.write("B CAL= ");
        writeVectorReport(calcVector, n);
    }
    if (ok) {
        if (shows)
            consoleWrite(" Correct");
        r2Sum = storeDouble(static_cast<long double>(r2Sum) + 1.0L);
    } else {
        if (whole)
            wholeErrors(*whole, n);
        else
            errorVector(b, calcVector, n);
        showCalcVector(" Error =", n);
        r2Sum = storeDouble(r2Sum + fitTerm(calcVector, b, n));
        if (!whole)
            correctWeights(w, a, calcVector, aLength, n);
        else if (whole->rowCount > 0)
            correctUnityRows(wholePairs_.rowsOf(*whole), n, wholePairs_.wide > 0);
    }
    if (shows)
        consoleWriteLn(" ");
    return ok;
}

int EngineState::bitErrors(const Vector& b, const Vector& c, int n) const
{
    return reference::bitErrors(b, c, n, unity, tol);
}

bool EngineState::scoreBitErrors(int bec)
{
    const bool report = (runOption == kTestLines || runOption == kTestAndPatternLines) && !quiet;
    std::string& text = reportText_;
    if (report) {
        char number[24];
        text.assign(" BEC = ");
        text.append(number, writeWholeText(number, bec, 6));
        text += ' ';
        reportFile.write(text);
    }
    berTotal = storeDouble(berTotal + static_cast<long double>(bec) / 2);
    if (report) {
        text.assign(" BER = ");
        // A sum of halves: twice it is whole, and the text comes from integers.
        if (!appendWholeRatioText(text, berTotal * 2, 2, 8, 1))
            appendRealTextWD(text, berTotal, 8, 1);
        text += ' ';
        reportFile.write(text);
        reportFile.writeLn(bec == 0 ? " RESULT = TRUE" : " RESULT = FALSE");
    }
    return bec == 0;
}

long double EngineState::fitTerm(const Vector& e, const Vector& b, int n)
{
    if (options_.referenceArithmetic)
        return reference::fitTerm(e, b, n, unity);
    const long double u = unity;
    long double sum = 0;
    for (int i = 1; i <= n; ++i) {
        // e / b + 1, or e / unity where b is 0: the divisor and the 1 are
        // chosen without a branch (0/1 patterns leave no way to guess it);
        // adding 0 changes no square.
        const bool byB = b[i] != 0;
        const long double divisor = byB ? static_cast<long double>(b[i]) : u;
        const long double t = fdiv(e[i], divisor) + static_cast<long double>(byB);
        sum += t * t;
    }
    long double s = fdiv(sum, n);
    long double term = s * s;
    if (std::isnan(term))
        throw RunError(kInvalidOp);
    return term;
}

void EngineState::correctWeights(Matrix& w, const Vector& a, const Vector& e, int aLength, int n)
{
    correctionProduct(a, aLength, e, n, workMatrix, beta);
    matrixAdd(workMatrix, aLength, n, w, w);
}

double EngineState::trainingTransfer(double v)
{
    return reference::trainingTransfer(v, unity);
}

} // namespace duolink

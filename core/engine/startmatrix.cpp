// SPDX-License-Identifier: GPL-3.0-or-later
// The starting matrix of a training: the sum of the outer products of the
// pairs, quantised to +-unity, and its report.
#include <algorithm>
#include <cmath>
#include <string>

#include "core/support/numtext.h"
#include "core/engine/jobfiles.h"
#include "core/engine/state.h"

namespace duolink {

void EngineState::quantise(Vector& v, int length)
{
    const double low = static_cast<double>(unity) - 1;
    for (int i = 1; i <= length; ++i)
        v[i] = v[i] < low ? -static_cast<double>(unity) : static_cast<double>(unity);
}

void EngineState::writePairReport()
{
    reportFile.write("A MAT= ");
    writeVectorReport(aVector, aLen);
    reportFile.write(" B MAT= ");
    writeVectorReport(bVector, bLen);
    reportFile.writeLn();
}

void EngineState::buildStartingMatrix()
{
    startingReads_.clear();
    std::fill(wMatrix.begin(), wMatrix.end(), 0.0);
    aVector.fill(0);
    bVector.fill(0);
    calcVector.fill(0);

    openADataFile();
    openBDataFile();
    const int count = countPatterns();
    consoleWriteLn("Count = " + realTextWD(count, 4, 0));
    reportFile.writeLn("DATA INPUT ");

    openADataFile();
    openBDataFile();
    if (quiet && !options_.referenceArithmetic && addsExactly(count)) {
        addQuantisedProducts(count);
        return;
    }
    readAVector(aVector, aDataFile);
    readBVector(bVector);
    writePairReport();
    quantise(aVector, aLen);
    quantise(bVector, bLen);
    outerProduct(aVector, aLen, bVector, bLen, wMatrix, 1.0L);

    for (int k = 2; k <= count; ++k) {
        readAVector(aVector, aDataFile);
        readBVector(bVector);
        writePairReport();
        quantise(aVector, aLen);
        quantise(bVector, bLen);
        outerProduct(aVector, aLen, bVector, bLen, deltaMatrix, 1.0L);
        matrixAdd(deltaMatrix, aLen, bLen, wMatrix, workMatrix);
        // After the first copy the two matrices differ only in the cells
        // the sum wrote.
        if (k == 2)
            wMatrix = workMatrix;
        else
            std::copy_n(&workMatrix[1], std::clamp(aLen * bLen, 0, kMatrixCells), &wMatrix[1]);
    }
}

bool EngineState::addsExactly(int count) const
{
    // Every cell of an outer product of quantised patterns is +-unity, and
    // sums of up to `count` of them stay whole numbers below 2^53.
    const double u = std::fabs(static_cast<double>(unity));
    return unity != 0 && count >= 1 && u * count < 0x1p53 && aLen >= 1 && bLen >= 1 && aLen * bLen <= kMatrixCells;
}

void EngineState::addQuantisedProducts(int count)
{
    // The sums below are exact, as are the products and the sums of the
    // general steps above, so the matrices end as those steps leave them.
    const double u = unity;
    const int cells = aLen * bLen;
    double signs[kVectorSize + 1];
    const size_t aRead = readWidth(aLen), bRead = readWidth(bLen);
    startingReads_.reserve(static_cast<size_t>(count) * (aRead + bRead));
    for (int k = 1; k <= count; ++k) {
        readAVector(aVector, aDataFile);
        readBVector(bVector);
        startingReads_.insert(startingReads_.end(), &aVector[1], &aVector[1] + aRead);
        startingReads_.insert(startingReads_.end(), &bVector[1], &bVector[1] + bRead);
        writePairReport();
        quantise(aVector, aLen);
        quantise(bVector, bLen);
        for (int j = 1; j <= bLen; ++j)
            signs[j] = bVector[j] == u ? 1 : -1;
        // The products of the first pair are the matrix, those of the last
        // are left in deltaMatrix as well; no product is zero, so no sum is
        // negative zero.
        const int columns = bLen;
        for (int i = 1; i <= aLen; ++i) {
            double* cell = &wMatrix[cellIndex(i, 1)];
            const double a = aVector[i];
            if (k == 1) {
                for (int j = 0; j < columns; ++j)
                    cell[j] = signs[j + 1] * a;
                continue;
            }
            for (int j = 0; j < columns; ++j)
                cell[j] += signs[j + 1] * a;
            if (k == count) {
                double* kept = &deltaMatrix[cellIndex(i, 1)];
                for (int j = 0; j < columns; ++j)
                    kept[j] = signs[j + 1] * a;
            }
        }
    }
    if (count >= 2) {
        std::copy_n(&wMatrix[1], cells, &workMatrix[1]);
        // The rest as the whole copy of the sum of the first two leaves it.
        wMatrix[0] = workMatrix[0];
        std::copy(workMatrix.begin() + cells + 1, workMatrix.end(), wMatrix.begin() + cells + 1);
    }
}

void EngineState::writeWMatrixReport(const Matrix& m, int rows, int cols)
{
    if (quiet)
        return;
    reportFile.writeLn(" ===== W Matrix ====== ");
    const int lines = (cols - 1) / 16 + 1;
    std::string text;
    for (int i = 1; i <= rows; ++i) {
        for (int k = 0; k < lines; ++k) {
            text.clear();
            const int last = std::min(16 * k + 16, cols);
            for (int c = 16 * k + 1; c <= last; ++c) {
                appendExpText(text, m[cellIndex(i, c)], 2);
                text += "  ";
            }
            reportFile.writeLn(text);
        }
        reportFile.writeLn();
    }
}

} // namespace duolink
